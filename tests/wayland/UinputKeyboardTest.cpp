// The uinput keyboard without a /dev/uinput: its device calls go to a
// recording control and its events into a pipe, which the tests read back.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "keys/KeyNames.h"
#include "keys/uinput/EvdevKeys.h"
#include "keys/uinput/UinputKeyboard.h"

namespace qv {
namespace {

struct Calls {
    std::vector<std::string> log;
    uinput_setup setup{};
    std::string failOn;  // the call that fails, if any
};

class RecordingControl : public UinputControl {
public:
    explicit RecordingControl(Calls& calls) : calls_(calls) {}
    bool SetEventBit(int type) override { return Log("evbit " + std::to_string(type)); }
    bool SetKeyBit(int code) override { return Log("keybit " + std::to_string(code)); }
    bool Setup(const uinput_setup& setup) override {
        calls_.setup = setup;
        return Log("setup");
    }
    bool Create() override { return Log("create"); }
    void Destroy() override { Log("destroy"); }

private:
    bool Log(const std::string& call) {
        calls_.log.push_back(call);
        return call != calls_.failOn;
    }
    Calls& calls_;
};

// A layout whose keys the test chooses, counting how often it was asked to
// take in a change.
class TableLayout final : public EvdevLayout {
public:
    TableLayout(std::map<int, std::uint16_t> keys, int& refreshes)
        : keys_(std::move(keys)), refreshes_(refreshes) {}
    void Refresh() override { ++refreshes_; }
    std::uint16_t KeyFor(int virtualKey) const override {
        const auto it = keys_.find(virtualKey);
        return it == keys_.end() ? 0 : it->second;
    }
    std::string Name() const override { return "test layout"; }

private:
    std::map<int, std::uint16_t> keys_;
    int& refreshes_;
};

struct Record {
    int type, code, value;
    friend bool operator==(const Record&, const Record&) = default;
};

std::ostream& operator<<(std::ostream& out, const Record& r) {
    return out << "{" << r.type << "," << r.code << "," << r.value << "}";
}

constexpr Record Key(int code, int value) {
    return {EV_KEY, code, value};
}
constexpr Record kSyn{EV_SYN, SYN_REPORT, 0};

class UinputKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        reader_.Reset(fds[0]);
        writer_ = UniqueFd(fds[1]);
        // Reading must not hang when a test expects nothing.
        fcntl(reader_.Get(), F_SETFL, O_NONBLOCK);
    }

    std::unique_ptr<UinputKeyboard> Make(std::unique_ptr<EvdevLayout> layout = nullptr) {
        std::string error;
        auto keyboard =
            UinputKeyboard::Create(std::move(writer_), std::make_unique<RecordingControl>(calls_),
                                   std::move(layout), error);
        EXPECT_TRUE(keyboard) << error;
        return keyboard;
    }

    // Every whole record written so far.
    std::vector<Record> Read() {
        std::vector<Record> records;
        input_event event{};
        ssize_t n = 0;
        while ((n = read(reader_.Get(), &event, sizeof event)) == sizeof event) {
            EXPECT_EQ(event.input_event_sec, 0);  // the kernel stamps the events
            EXPECT_EQ(event.input_event_usec, 0);
            records.push_back({event.type, event.code, event.value});
        }
        EXPECT_TRUE(n < 0 || n == 0) << "a partial record of " << n << " bytes";
        return records;
    }

    static std::vector<KeyStroke> Strokes(std::string_view stored) { return ReadKeyList(stored); }

    Calls calls_;
    UniqueFd reader_;
    UniqueFd writer_;
};

TEST_F(UinputKeyboardTest, TheDeviceDeclaresKeyAndSyncEventsAndEveryKeyOfTheVocabulary) {
    auto keyboard = Make();
    ASSERT_TRUE(keyboard);
    ASSERT_GE(calls_.log.size(), 4u);
    EXPECT_EQ(calls_.log[0], "evbit " + std::to_string(EV_KEY));
    EXPECT_EQ(calls_.log[1], "evbit " + std::to_string(EV_SYN));
    EXPECT_EQ(calls_.log[calls_.log.size() - 2], "setup");
    EXPECT_EQ(calls_.log.back(), "create");
    std::set<std::string> keyBits(calls_.log.begin() + 2, calls_.log.end() - 2);
    EXPECT_EQ(keyBits.size(), calls_.log.size() - 4) << "a key bit was set twice";
    for (const KeyName& name : KeyVocabulary()) {
        const std::uint16_t code = VirtualKeyToEvdev(name.code);
        if (code != KEY_RESERVED) {
            EXPECT_EQ(keyBits.count("keybit " + std::to_string(code)), 1u) << name.name;
        }
    }
    // Every key a layout may carry a code on, the Japanese keyboard's included.
    for (const int key : {KEY_ZENKAKUHANKAKU, KEY_YEN, KEY_RO, KEY_102ND, KEY_GRAVE, KEY_F24}) {
        EXPECT_EQ(keyBits.count("keybit " + std::to_string(key)), 1u) << key;
    }
    EXPECT_GE(keyBits.size(), static_cast<std::size_t>(KEY_MICMUTE));
    EXPECT_EQ(std::string(calls_.setup.name), "Quorvane virtual keyboard");
    EXPECT_EQ(calls_.setup.id.bustype, BUS_VIRTUAL);
    EXPECT_TRUE(Read().empty());
}

TEST_F(UinputKeyboardTest, EachStrokeIsOneKeyRecordFollowedByASyncReport) {
    auto keyboard = Make();
    ASSERT_TRUE(keyboard);
    keyboard->Send(Strokes("D[CTRL], DC, UC, U[CTRL]"));
    EXPECT_EQ(Read(), (std::vector<Record>{Key(KEY_LEFTCTRL, 1), kSyn, Key(KEY_C, 1), kSyn,
                                           Key(KEY_C, 0), kSyn, Key(KEY_LEFTCTRL, 0), kSyn}));
}

TEST_F(UinputKeyboardTest, CodesWithoutAKeyAreLeftOutAndTheRestKeepTheirOrder) {
    auto keyboard = Make();
    ASSERT_TRUE(keyboard);
    keyboard->Send(Strokes("D[LBUTTON], D[KANJI], D[NOPE], U[KANJI], U, D[EXECUTE], D[F24]"));
    EXPECT_EQ(Read(),
              (std::vector<Record>{Key(KEY_ZENKAKUHANKAKU, 1), kSyn, Key(KEY_ZENKAKUHANKAKU, 0),
                                   kSyn, Key(KEY_F24, 1), kSyn}));
    keyboard->Send(Strokes("D[NOPE]"));
    keyboard->Send({});
    EXPECT_TRUE(Read().empty());
}

TEST_F(UinputKeyboardTest, AFullKeyListGoesOutWholeAndInOrder) {
    auto keyboard = Make();
    ASSERT_TRUE(keyboard);
    std::vector<KeyStroke> batch;
    std::vector<Record> expected;
    for (int i = 0; batch.size() < 255; ++i) {
        const auto vk = static_cast<std::int16_t>(i % 2 == 0 ? 'A' + (i / 2) % 26 : 0x10);
        const bool release = (i / 2) % 2 == 1;
        batch.push_back({vk, release});
        expected.push_back(Key(VirtualKeyToEvdev(vk), release ? 0 : 1));
        expected.push_back(kSyn);
    }
    keyboard->Send(batch);
    EXPECT_EQ(Read(), expected);
}

TEST_F(UinputKeyboardTest, KeysLeftDownAreReleasedBeforeTheDeviceGoes) {
    auto keyboard = Make();
    ASSERT_TRUE(keyboard);
    keyboard->Send(Strokes("D[SHIFT], DA, UA, D[RCONTROL], DB"));
    Read();
    keyboard->Send(Strokes("UB"));
    Read();
    calls_.log.clear();
    keyboard.reset();
    EXPECT_EQ(Read(),
              (std::vector<Record>{Key(KEY_LEFTSHIFT, 0), kSyn, Key(KEY_RIGHTCTRL, 0), kSyn}));
    EXPECT_EQ(calls_.log, std::vector<std::string>{"destroy"});
}

TEST_F(UinputKeyboardTest, CodesPressTheKeysTheLayoutHasForThemAfterARefresh) {
    int refreshes = 0;
    // A Japanese layout's places: [186] (:) is the key a US keyboard has '
    // on, 英数 the Caps Lock key; nothing carries [KANJI] here.
    auto keyboard = Make(std::make_unique<TableLayout>(
        std::map<int, std::uint16_t>{{0xBA, KEY_APOSTROPHE}, {0xF0, KEY_CAPSLOCK}, {'A', KEY_A}},
        refreshes));
    ASSERT_TRUE(keyboard);
    EXPECT_EQ(refreshes, 0);
    keyboard->Send(Strokes("D[186], U[186], D[KANJI], U[KANJI], D[240], U[240], DA, UA"));
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(Read(), (std::vector<Record>{Key(KEY_APOSTROPHE, 1), kSyn, Key(KEY_APOSTROPHE, 0),
                                           kSyn, Key(KEY_CAPSLOCK, 1), kSyn, Key(KEY_CAPSLOCK, 0),
                                           kSyn, Key(KEY_A, 1), kSyn, Key(KEY_A, 0), kSyn}));
    keyboard->Send(Strokes("UA"));
    EXPECT_EQ(refreshes, 2);
}

TEST(EncodeKeyEvents, SkippedCodesAreNamed) {
    const PcEvdevLayout pc;
    std::vector<int> skipped;
    const auto records =
        EncodeKeyEvents(ReadKeyList("D[LBUTTON], D[186], D[243], U[NOSUCHKEY], U"), pc, &skipped);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].code, KEY_SEMICOLON);  // where a US keyboard has VK_OEM_1
    EXPECT_EQ(skipped, (std::vector<int>{0x01, 0xF3, -1, 0}));
}

TEST_F(UinputKeyboardTest, AFailingSetupCallEndsCreationWithTheCallNamed) {
    calls_.failOn = "create";
    std::string error;
    auto keyboard = UinputKeyboard::Create(
        std::move(writer_), std::make_unique<RecordingControl>(calls_), nullptr, error);
    EXPECT_FALSE(keyboard);
    EXPECT_EQ(error, "ioctl(UI_DEV_CREATE) failed");

    calls_ = {};
    calls_.failOn = "keybit " + std::to_string(KEY_A);
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    UniqueFd other(fds[0]);
    keyboard = UinputKeyboard::Create(UniqueFd(fds[1]), std::make_unique<RecordingControl>(calls_),
                                      nullptr, error);
    EXPECT_FALSE(keyboard);
    EXPECT_EQ(error, "ioctl(UI_SET_KEYBIT, " + std::to_string(KEY_A) + ") failed");
    EXPECT_EQ(std::count(calls_.log.begin(), calls_.log.end(), "create"), 0);
}

TEST(UinputOpen, AMissingOrForbiddenDeviceNodeIsReportedWithTheCall) {
    std::string error;
    EXPECT_FALSE(UinputKeyboard::Open(nullptr, error, "/nonexistent/uinput"));
    EXPECT_EQ(error, "open(/nonexistent/uinput): No such file or directory");
}

TEST(EvdevKeys, KeysOfTheVocabularyHaveLinuxKeyCodes) {
    EXPECT_EQ(VirtualKeyToEvdev('A'), KEY_A);
    EXPECT_EQ(VirtualKeyToEvdev('M'), KEY_M);
    EXPECT_EQ(VirtualKeyToEvdev('Z'), KEY_Z);
    EXPECT_EQ(VirtualKeyToEvdev('0'), KEY_0);
    EXPECT_EQ(VirtualKeyToEvdev('9'), KEY_9);
    EXPECT_EQ(VirtualKeyToEvdev(0x60), KEY_KP0);
    EXPECT_EQ(VirtualKeyToEvdev(0x69), KEY_KP9);
    EXPECT_EQ(VirtualKeyToEvdev(0x70), KEY_F1);
    EXPECT_EQ(VirtualKeyToEvdev(0x7B), KEY_F12);
    EXPECT_EQ(VirtualKeyToEvdev(0x87), KEY_F24);
    EXPECT_EQ(VirtualKeyToEvdev(0x2C), KEY_SYSRQ);  // Print Screen
    EXPECT_EQ(VirtualKeyToEvdev(0x15), KEY_KATAKANAHIRAGANA);
    int without = 0;
    std::set<std::uint16_t> codes;
    for (const KeyName& name : KeyVocabulary()) {
        const std::uint16_t code = VirtualKeyToEvdev(name.code);
        if (code == KEY_RESERVED) {
            ++without;
            continue;
        }
        EXPECT_LE(code, KEY_MAX) << name.name;
        codes.insert(code);
    }
    // The three mouse buttons, [EXECUTE] and [MODECHANGE] are no Linux keys.
    EXPECT_EQ(without, 5);
    for (const int code : {-1, 0, 0x05, 0xB8, 0xF0, 0xF3, 0xFF}) {
        EXPECT_EQ(VirtualKeyToEvdev(code), KEY_RESERVED) << code;
    }
    // The punctuation codes: the keys in their places on a US keyboard.
    EXPECT_EQ(VirtualKeyToEvdev(0xBA), KEY_SEMICOLON);
    EXPECT_EQ(VirtualKeyToEvdev(0xC0), KEY_GRAVE);
    EXPECT_EQ(VirtualKeyToEvdev(0xDE), KEY_APOSTROPHE);
    EXPECT_EQ(VirtualKeyToEvdev(0xE2), KEY_102ND);
    EXPECT_EQ(PcEvdevLayout().KeyFor(0xDB), KEY_LEFTBRACE);
}

}  // namespace
}  // namespace qv
