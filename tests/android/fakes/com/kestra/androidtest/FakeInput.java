package com.kestra.androidtest;

import android.app.Activity;
import android.view.InputDevice;
import android.view.KeyEvent;
import android.view.Window;
import java.lang.reflect.Proxy;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * The phone's keyboards as the desktop tests of the peer see them: the input devices connected
 * now, the phone's keyboard layout, the host's activity with its view, and keys typed on a
 * keyboard. Keys are dispatched through the activity window's callback on the caller's thread,
 * as a phone's user-interface thread does, with what a phone puts into each event: the scan
 * code (the key's Linux input code), the key code the phone's layout gives that key, the
 * device's meta state after the key, the repeat count.
 *
 * A script of keys is a list of tokens separated by blanks: "a" presses and lets go of a key,
 * "+a" presses it, "-a" lets it go, "~a" is an auto-repeated press, and "shift+a",
 * "ctrl+shift+6" hold modifiers around a key. Key names: letters, digits, the keypad's kp0 to
 * kp9, and the names in POSITIONS below.
 */
public final class FakeInput {
    private static final Map<Integer, InputDevice> devices = new LinkedHashMap<>();
    private static final Map<Integer, Integer> metaStates = new HashMap<>();
    private static final StringBuilder viewText = new StringBuilder();
    private static int nextId = 2;
    private static String phoneLayout = "us";
    private static int focusChanges;
    private static Activity activity;

    private static final Map<String, Integer> POSITIONS = new HashMap<>();
    // The US key code of a position (Linux input code), as the phone's generic key map gives it.
    private static final Map<Integer, Integer> US_KEY_CODES = new HashMap<>();
    // What a French layout on the phone changes: the key code of the AZERTY letter positions.
    private static final Map<Integer, Integer> FRENCH_KEY_CODES = new HashMap<>();

    private static void position(String name, int position, int keyCode) {
        POSITIONS.put(name, position);
        US_KEY_CODES.put(position, keyCode);
    }

    static {
        String[] rows = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
        int[] firsts = {16, 30, 44};
        for (int row = 0; row < rows.length; row++) {
            for (int i = 0; i < rows[row].length(); i++) {
                char letter = rows[row].charAt(i);
                position(String.valueOf(letter), firsts[row] + i, 29 + letter - 'a');
            }
        }
        for (int digit = 0; digit <= 9; digit++) {
            position(String.valueOf(digit), digit == 0 ? 11 : digit + 1, 7 + digit);
        }
        int[] keypad = {82, 79, 80, 81, 75, 76, 77, 71, 72, 73};
        for (int digit = 0; digit <= 9; digit++) {
            position("kp" + digit, keypad[digit], 144 + digit);
        }
        position("esc", 1, 111);
        position("minus", 12, 69);
        position("equal", 13, 70);
        position("backspace", 14, 67);
        position("tab", 15, 61);
        position("lbracket", 26, 71);
        position("rbracket", 27, 72);
        position("enter", 28, 66);
        position("ctrl", 29, 113);
        position("semicolon", 39, 74);
        position("apostrophe", 40, 75);
        position("grave", 41, 68);
        position("shift", 42, 59);
        position("backslash", 43, 73);
        position("comma", 51, 55);
        position("dot", 52, 56);
        position("slash", 53, 76);
        position("rshift", 54, 60);
        position("alt", 56, 57);
        position("space", 57, 62);
        position("caps", 58, 115);
        position("iso", 86, 73);
        position("kpenter", 96, 160);
        position("rctrl", 97, 114);
        position("altgr", 100, 58);
        FRENCH_KEY_CODES.put(16, 29); // the US Q position types A
        FRENCH_KEY_CODES.put(30, 45); // the US A position types Q
        FRENCH_KEY_CODES.put(17, 54); // W types Z
        FRENCH_KEY_CODES.put(44, 51); // Z types W
        FRENCH_KEY_CODES.put(39, 41); // ; types M
        FRENCH_KEY_CODES.put(50, 55); // M types ,
    }

    private FakeInput() {}

    // What the test program calls.

    public static synchronized void reset() {
        devices.clear();
        metaStates.clear();
        viewText.setLength(0);
        nextId = 2;
        phoneLayout = "us";
        focusChanges = 0;
    }

    /** A keyboard connects; returns its device id, new with each connection as on a phone. */
    public static synchronized int connect(String descriptor, String name, boolean virtual, boolean external) {
        int id = nextId++;
        devices.put(id, new InputDevice(id, descriptor, name, InputDevice.SOURCE_KEYBOARD,
                InputDevice.KEYBOARD_TYPE_ALPHABETIC, virtual, external));
        return id;
    }

    /** Keys that type no text, such as the phone's volume buttons. */
    public static synchronized int connectButtons(String descriptor, String name) {
        int id = nextId++;
        devices.put(id, new InputDevice(id, descriptor, name, InputDevice.SOURCE_KEYBOARD,
                InputDevice.KEYBOARD_TYPE_NON_ALPHABETIC, false, false));
        return id;
    }

    public static synchronized void disconnect(String descriptor) {
        devices.values().removeIf(device -> device.getDescriptor().equals(descriptor));
    }

    /** "us", "fr" (which changes the key codes of the AZERTY letters) or "ru". */
    public static synchronized void setPhoneLayout(String layout) {
        phoneLayout = layout;
    }

    /** Types a script of keys on the keyboard with this descriptor, on the caller's thread. */
    public static void type(String descriptor, String script) {
        int id = idOf(descriptor);
        for (String token : script.trim().split("\\s+")) {
            if (token.isEmpty()) {
                continue;
            }
            if (token.startsWith("+") || token.startsWith("-") || token.startsWith("~")) {
                int position = positionOf(token.substring(1));
                key(id, position, token.startsWith("-") ? KeyEvent.ACTION_UP : KeyEvent.ACTION_DOWN,
                        token.startsWith("~") ? 1 : 0);
                continue;
            }
            String[] keys = token.split("\\+");
            for (String held : keys) {
                key(id, positionOf(held), KeyEvent.ACTION_DOWN, 0);
            }
            for (int i = keys.length - 1; i >= 0; i--) {
                key(id, positionOf(keys[i]), KeyEvent.ACTION_UP, 0);
            }
        }
    }

    /** What reached the host's view: the characters of its key presses, Escape as <ESC>. */
    public static synchronized String viewText() {
        return viewText.toString();
    }

    public static synchronized int focusChanges() {
        return focusChanges;
    }

    /** The window gains or loses focus: the platform tells the window's callback. */
    public static void windowFocus(boolean hasFocus) {
        currentActivity().getWindow().getCallback().onWindowFocusChanged(hasFocus);
    }

    /** The host wraps the window's callback in one of its own, which passes everything on. */
    public static void hostWrapsCallback() {
        Window window = currentActivity().getWindow();
        window.setCallback(new HostWrapper(window.getCallback()));
    }

    /** The host sets a callback of its own that passes nothing on to the one before. */
    public static void hostReplacesCallback() {
        currentActivity().getWindow().setCallback(new HostView());
    }

    /** What the window's callback is now: "view", "wrapper", "proxy" (the peer's) or a class. */
    public static String topCallback() {
        Window.Callback top = currentActivity().getWindow().getCallback();
        if (top instanceof HostView) {
            return "view";
        }
        if (top instanceof HostWrapper) {
            return "wrapper";
        }
        return top != null && Proxy.isProxyClass(top.getClass()) ? "proxy" : String.valueOf(top);
    }

    /** The activity is destroyed, as when the system recreates it. */
    public static void destroyActivity() {
        currentActivity().destroy();
    }

    // What the fake android.* classes call.

    public static synchronized void created(Activity created) {
        activity = created;
        created.getWindow().setCallback(new HostView());
    }

    public static synchronized int[] deviceIds() {
        int[] ids = new int[devices.size()];
        int i = 0;
        for (int id : devices.keySet()) {
            ids[i++] = id;
        }
        return ids;
    }

    public static synchronized InputDevice device(int id) {
        return devices.get(id);
    }

    private static synchronized Activity currentActivity() {
        if (activity == null) {
            throw new IllegalStateException("no activity was created");
        }
        return activity;
    }

    private static synchronized int idOf(String descriptor) {
        List<Integer> ids = new ArrayList<>();
        for (InputDevice device : devices.values()) {
            if (device.getDescriptor().equals(descriptor)) {
                ids.add(device.getId());
            }
        }
        if (ids.isEmpty()) {
            throw new IllegalArgumentException("no keyboard " + descriptor + " is connected");
        }
        return ids.get(0);
    }

    private static int positionOf(String name) {
        Integer position = POSITIONS.get(name);
        if (position == null) {
            throw new IllegalArgumentException("no key named '" + name + "'");
        }
        return position;
    }

    // One key event: the device's meta state follows its modifiers as a phone keeps it.
    private static void key(int id, int position, int action, int repeatCount) {
        KeyEvent event;
        synchronized (FakeInput.class) {
            int meta = metaStates.getOrDefault(id, 0);
            boolean down = action == KeyEvent.ACTION_DOWN;
            int bits = modifierBits(position);
            if (position == 58) {
                meta = down && repeatCount == 0 ? meta ^ 0x100000 : meta;
            } else if (bits != 0) {
                // The combined bit stays while the other side's key is held.
                int sides = (down ? meta | bits : meta & ~bits) & ~(0x1 | 0x2 | 0x1000);
                meta = sides | ((sides & 0xC0) != 0 ? 0x1 : 0) | ((sides & 0x30) != 0 ? 0x2 : 0)
                        | ((sides & 0x6000) != 0 ? 0x1000 : 0);
            }
            metaStates.put(id, meta);
            Integer keyCode = phoneLayout.equals("fr") ? FRENCH_KEY_CODES.get(position) : null;
            if (keyCode == null) {
                keyCode = US_KEY_CODES.get(position);
            }
            event = new KeyEvent(id, action, keyCode, position, meta, repeatCount);
        }
        Window.Callback callback = currentActivity().getWindow().getCallback();
        callback.dispatchKeyEvent(event);
    }

    private static int modifierBits(int position) {
        switch (position) {
            case 42: return 0x41;
            case 54: return 0x81;
            case 29: return 0x3000;
            case 97: return 0x5000;
            case 56: return 0x12;
            case 100: return 0x22;
            default: return 0;
        }
    }

    // The host's view: writes the characters of the presses it receives, by the phone's US map
    // (letters and digits, Shift for capitals), Enter as a line end, Escape as <ESC>.
    private static final class HostView implements Window.Callback {
        @Override
        public boolean dispatchKeyEvent(KeyEvent event) {
            if (event.getAction() != KeyEvent.ACTION_DOWN) {
                return true;
            }
            int keyCode = event.getKeyCode();
            boolean shift = (event.getMetaState() & 0x1) != 0;
            String text = "";
            if (keyCode >= 29 && keyCode <= 54) {
                char letter = (char) ('a' + keyCode - 29);
                text = String.valueOf(shift ? Character.toUpperCase(letter) : letter);
            } else if (keyCode >= 7 && keyCode <= 16) {
                text = String.valueOf((char) ('0' + keyCode - 7));
            } else if (keyCode == 66) {
                text = "\n";
            } else if (keyCode == 111) {
                text = "<ESC>";
            }
            synchronized (FakeInput.class) {
                viewText.append(text);
            }
            return true;
        }

        @Override
        public void onWindowFocusChanged(boolean hasFocus) {
            synchronized (FakeInput.class) {
                focusChanges++;
            }
        }
    }

    private static final class HostWrapper implements Window.Callback {
        private final Window.Callback wrapped;

        HostWrapper(Window.Callback wrapped) {
            this.wrapped = wrapped;
        }

        @Override
        public boolean dispatchKeyEvent(KeyEvent event) {
            return wrapped.dispatchKeyEvent(event);
        }

        @Override
        public void onWindowFocusChanged(boolean hasFocus) {
            wrapped.onWindowFocusChanged(hasFocus);
        }
    }
}
