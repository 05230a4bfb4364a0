// Quorvane's window switching on GNOME Shell: a small interface on the
// session bus that lists the windows (with the names Quorvane finds them
// by), activates, minimises, restores and maximises one, and tells which
// window has the focus, also as a signal when it moves. GNOME offers no
// public interface for this outside the shell.
/* exported init */
'use strict';

const { Clutter, Gio, GLib, Meta } = imports.gi;
const Main = imports.ui.main;

const BUS_NAME = 'org.quorvane.Quorvane.Windows';
const OBJECT_PATH = '/org/quorvane/Quorvane/Windows';
const INTERFACE_XML = `
<node>
  <interface name="org.quorvane.Quorvane.Windows">
    <!-- Front-most first: id, title, WM_CLASS class, instance, GTK
         application id, state (1 minimised, 2 maximised, 4 fullscreen,
         8 has the focus, 16 an X client under XWayland). -->
    <method name="List">
      <arg type="a(tssssu)" direction="out" name="windows"/>
    </method>
    <method name="Focused">
      <arg type="t" direction="out" name="id"/>
    </method>
    <!-- Restores the window when minimised and gives it the focus; false
         when there is no such window. -->
    <method name="Activate">
      <arg type="t" direction="in" name="id"/>
      <arg type="b" direction="out" name="done"/>
    </method>
    <!-- 1 restored, 2 minimised, 3 maximised. -->
    <method name="SetShowState">
      <arg type="t" direction="in" name="id"/>
      <arg type="u" direction="in" name="state"/>
      <arg type="b" direction="out" name="done"/>
    </method>
    <!-- Answers once the shell has handled the input events that came
         before: keys sent through mutter's remote desktop have then reached
         the window with the focus. -->
    <method name="Sync"/>
    <signal name="FocusChanged">
      <arg type="t" name="id"/>
    </signal>
  </interface>
</node>`;

const MINIMIZED = 1;
const MAXIMIZED = 2;
const FULLSCREEN = 4;
const FOCUSED = 8;
const X_CLIENT = 16;

function windowsFrontFirst() {
    const display = global.display;
    const all = global.get_window_actors()
        .map(actor => actor.get_meta_window())
        .filter(w => w && !w.is_override_redirect() && !w.is_skip_taskbar() &&
                     w.get_window_type() === Meta.WindowType.NORMAL);
    return display.sort_windows_by_stacking(all).reverse();
}

// The window that has the keyboard: none while the overview is shown (it
// takes the keys for its search).
function focusedWindow() {
    return Main.overview.visible ? null : global.display.focus_window;
}

function findWindow(id) {
    return windowsFrontFirst().find(w => w.get_id() === id) ?? null;
}

function stateOf(w) {
    let state = 0;
    if (w.minimized)
        state |= MINIMIZED;
    if (w.get_maximized() === Meta.MaximizeFlags.BOTH)
        state |= MAXIMIZED;
    if (w.is_fullscreen())
        state |= FULLSCREEN;
    if (w === focusedWindow())
        state |= FOCUSED;
    if (w.get_client_type() === Meta.WindowClientType.X11)
        state |= X_CLIENT;
    return state;
}

function activate(w) {
    // The keyboard goes to the window only while no part of the shell holds
    // the key focus (the overview's search does after login).
    global.stage.set_key_focus(null);
    // A call over the bus comes with no input event: ask for the time, so
    // that focus-stealing prevention takes the request as new.
    Main.activateWindow(w, global.display.get_current_time_roundtrip());
}

class WindowsService {
    List() {
        return windowsFrontFirst().map(w => [
            w.get_id(), w.get_title() ?? '', w.get_wm_class() ?? '',
            w.get_wm_class_instance() ?? '', w.get_gtk_application_id() ?? '', stateOf(w),
        ]);
    }

    Focused() {
        const w = focusedWindow();
        return w ? w.get_id() : 0;
    }

    Activate(id) {
        const w = findWindow(id);
        if (!w)
            return false;
        if (w.minimized)
            w.unminimize();
        if (Main.overview.visible) {
            // A window activated while the overview hides does not get the
            // keyboard, and once it has gone the shell gives the focus to
            // the top window: activate the target after that (the focus
            // signal tells when).
            const handler = Main.overview.connect('hidden', () => {
                Main.overview.disconnect(handler);
                Meta.later_add(Meta.LaterType.IDLE, () => {
                    // A window that kept the focus behind the overview does
                    // not get the keyboard back by being activated again.
                    if (w === global.display.focus_window)
                        global.display.unset_input_focus(global.display.get_current_time_roundtrip());
                    activate(w);
                    return GLib.SOURCE_REMOVE;
                });
            });
            Main.overview.hide();
            return true;
        }
        activate(w);
        return true;
    }

    SyncAsync(params, invocation) {
        // mutter's input thread turns the remote desktop's keys into events
        // for this thread, which handles them at default priority. Answer
        // once no event has waited for a few milliseconds in a row, checked
        // from an idle source of low priority (it runs once none are
        // waiting): under load the input thread may lag behind the calls.
        const pending = typeof Clutter.events_pending === 'function'
            ? () => Clutter.events_pending() : () => false;
        let quiet = 0;
        GLib.idle_add(GLib.PRIORITY_LOW, () => {
            GLib.timeout_add(GLib.PRIORITY_LOW, 1, () => {
                quiet = pending() ? 0 : quiet + 1;
                if (quiet < 3)
                    return GLib.SOURCE_CONTINUE;
                invocation.return_value(null);
                return GLib.SOURCE_REMOVE;
            });
            return GLib.SOURCE_REMOVE;
        });
    }

    SetShowState(id, state) {
        const w = findWindow(id);
        if (!w)
            return false;
        if (state === 2) {
            w.minimize();
            return true;
        }
        if (w.minimized)
            w.unminimize();
        if (state === 3)
            w.maximize(Meta.MaximizeFlags.BOTH);
        else if (w.get_maximized())
            w.unmaximize(Meta.MaximizeFlags.BOTH);
        return true;
    }
}

class Extension {
    enable() {
        this._service = new WindowsService();
        this._exported = Gio.DBusExportedObject.wrapJSObject(INTERFACE_XML, this._service);
        this._exported.export(Gio.DBus.session, OBJECT_PATH);
        const focusChanged = () => {
            const id = this._service.Focused();
            this._exported.emit_signal('FocusChanged', new GLib.Variant('(t)', [id]));
        };
        this._focusHandler = global.display.connect('notify::focus-window', focusChanged);
        this._overviewHandlers = [
            Main.overview.connect('showing', focusChanged),
            Main.overview.connect('hidden', focusChanged),
        ];
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    disable() {
        Gio.bus_unown_name(this._nameId);
        global.display.disconnect(this._focusHandler);
        this._overviewHandlers.forEach(h => Main.overview.disconnect(h));
        this._exported.unexport();
        this._exported = null;
        this._service = null;
    }
}

function init() {
    return new Extension();
}
