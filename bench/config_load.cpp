// Start-up load of a configuration file with every slot used (32767), a single
// IniRead and IniWrite on that file, and a worst-case match (full scan, no hit).
// Run: build/bench/bench_config_load
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "config/IniStore.h"
#include "config/RemoteTable.h"
#include "config/Settings.h"
#include "config/linux/IconvTextCodec.h"
#include "config/linux/PosixConfigFiles.h"

namespace {

// A folder holding the generated file for the whole run, removed at exit.
class BigFile {
public:
    BigFile() {
        std::string templ = (std::filesystem::temp_directory_path() / "qvbench-XXXXXX").string();
        if (::mkdtemp(templ.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        dir_ = templ;
        path_ = (dir_ / "Quorvane.ini").string();
        std::string text = "[General]\r\nWindowChangeTime=3\r\n[HID]\r\nVendorID=&H1234\r\n";
        for (int n = 1; n <= qv::kMaxSlot; ++n) {
            char pulse[32];
            std::snprintf(pulse, sizeof pulse, "%02d,%02d,%02d", 1 + n % 255, (n / 255) % 256,
                          n % 7);
            text += "[Remote" + std::to_string(n) + "]\r\n";
            text += "Pulse=" + std::string(pulse) + "\r\n";
            text += "Comment=ボタン " + std::to_string(n) + "\r\n";
            text += "AdjustTime=1\r\n";
            text += "WindowName=Notepad\r\n";
            text += "KeyList=D[CTRL], D[A], U[A], U[CTRL]\r\n";
        }
        std::ofstream(path_, std::ios::binary) << text;
        size_ = text.size();
    }
    ~BigFile() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string& path() const { return path_; }
    std::size_t size() const { return size_; }

private:
    std::filesystem::path dir_;
    std::string path_;
    std::size_t size_ = 0;
};

BigFile& File() {
    static BigFile file;
    return file;
}

qv::IniStore MakeStore() {
    qv::IniStore store(std::make_unique<qv::IconvTextCodec>(),
                       std::make_unique<qv::PosixConfigFiles>());
    store.SetIniPath(File().path());
    return store;
}

void BM_LoadRemoteTable32767(benchmark::State& state) {
    qv::IniStore store = MakeStore();
    qv::RemoteTable table;
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.Load(store));
    }
    if (table.UpperIndex() != qv::kMaxSlot) {
        state.SkipWithError("not every slot loaded");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * File().size()));
}
BENCHMARK(BM_LoadRemoteTable32767)->Unit(benchmark::kMillisecond);

void BM_ParseOnly32767(benchmark::State& state) {
    qv::IniStore store = MakeStore();
    for (auto _ : state) {
        qv::LoadedIni loaded = store.Load();
        benchmark::DoNotOptimize(loaded.file.HasSection("Remote1"));
    }
}
BENCHMARK(BM_ParseOnly32767)->Unit(benchmark::kMillisecond);

void BM_IniReadSingle(benchmark::State& state) {
    qv::IniStore store = MakeStore();
    for (auto _ : state) {
        benchmark::DoNotOptimize(qv::IniRead(store, "Remote16000", "Pulse", ""));
    }
}
BENCHMARK(BM_IniReadSingle)->Unit(benchmark::kMillisecond);

void BM_IniWriteSingle(benchmark::State& state) {
    qv::IniStore store = MakeStore();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            qv::IniWrite(store, "Remote16000", "Comment", "changed " + std::to_string(++i)));
    }
}
BENCHMARK(BM_IniWriteSingle)->Unit(benchmark::kMillisecond);

void BM_MatchNoHit32767(benchmark::State& state) {
    qv::IniStore store = MakeStore();
    qv::RemoteTable table;
    table.Load(store);
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.Match(0, 0, 0));
    }
}
BENCHMARK(BM_MatchNoHit32767)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
