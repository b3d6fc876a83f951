package com.kestra.MobileBarcodeScannerPackage;

import java.text.Normalizer;

/**
 * Turns the key events of one scanner in keyboard mode into text, by the layout the scanner
 * types for, never by the phone's: the phone may be set to French or Russian while the scanner
 * types for US QWERTY, and the phone's generic key map has no character for Ctrl+] or for Alt
 * with keypad digits.
 *
 * Events carry Android's KeyEvent values (key code, action, meta state, scan code, repeat
 * count); the console feeds Linux input events in the same form. The key's position is its scan
 * code, or where there is none, the position the key code has on a US keyboard.
 *
 * - Shift, Caps Lock (letters only) and AltGr choose the level; Ctrl+Alt stands for AltGr.
 * - A dead key accents the next character; before a space or a character it cannot accent it
 *   stands for itself.
 * - Ctrl with a letter or with [ \ ] ^ _ gives the C0 control character (Ctrl+] is GS, 0x1D),
 *   by the scanner's layout or, where that key gives none, by the key's US character.
 * - Alt held while keypad digits are typed gives the character of that code (Alt+0029 is GS)
 *   when Alt is let go. Alt with any other key is a shortcut and types nothing.
 * - Enter (keypad Enter too, and Tab where chosen) ends the barcode once per key press, whether
 *   the press arrives as down and up, down only or up only.
 * - Escape, Backspace and keys without a character type nothing. Auto-repeated downs (repeat
 *   count above 0) are ignored: a scanner never holds a key, and a phone repeats one when a
 *   key's up comes late over a slow link.
 *
 * Not thread-safe: one thread (the reader's) feeds one decoder.
 */
final class KeyDecoder {
    // Android's KeyEvent constants.
    static final int ACTION_DOWN = 0;
    static final int ACTION_UP = 1;
    static final int META_SHIFT_ON = 0x1;
    static final int META_ALT_LEFT_ON = 0x10;
    static final int META_ALT_RIGHT_ON = 0x20;
    static final int META_CTRL_ON = 0x1000;
    static final int META_CAPS_LOCK_ON = 0x100000;

    interface Output {
        void character(int codePoint);

        /** The barcode typed so far is complete. */
        void end();
    }

    private final KeyboardLayout layout;
    private final boolean tabEnds;
    private final boolean metaCarriesLocks;
    private boolean shiftLeft;
    private boolean shiftRight;
    private boolean ctrlLeft;
    private boolean ctrlRight;
    private boolean altLeft;
    private boolean altRight;
    private boolean capsLock;
    private final boolean[] endKeyDown = new boolean[KeyboardLayout.POSITIONS];
    private char dead; // the pending dead key's combining accent; 0 for none
    private int altCode = -1; // the code typed on the keypad with Alt held; -1 for none

    /**
     * metaCarriesLocks: the events' meta state holds the device's Caps Lock (as on Android);
     * otherwise the decoder keeps Caps Lock itself from the key's presses.
     */
    KeyDecoder(KeyboardLayout layout, boolean tabEnds, boolean metaCarriesLocks) {
        this.layout = layout;
        this.tabEnds = tabEnds;
        this.metaCarriesLocks = metaCarriesLocks;
    }

    void key(int keyCode, int action, int metaState, int scanCode, int repeatCount, Output out) {
        int position = positionOf(keyCode, scanCode);
        if (position < 0 || (action != ACTION_DOWN && action != ACTION_UP)) {
            return;
        }
        boolean down = action == ACTION_DOWN;
        boolean repeated = down && repeatCount > 0;
        if (modifier(position, down, repeated, out)) {
            return;
        }
        if (repeated) {
            return;
        }
        if (position == KeyboardLayout.ENTER || position == KeyboardLayout.KEYPAD_ENTER
                || (tabEnds && position == KeyboardLayout.TAB)) {
            boolean pressedBefore = endKeyDown[position];
            endKeyDown[position] = down;
            if (down || !pressedBefore) {
                dead = 0;
                out.end();
            }
            return;
        }
        if (down) {
            typed(position, metaState, out);
        }
    }

    /** The position of a key: its scan code, or the US position of its key code; -1 for none. */
    static int positionOf(int keyCode, int scanCode) {
        if (scanCode > 0 && scanCode < KeyboardLayout.POSITIONS) {
            return scanCode;
        }
        return keyCode >= 0 && keyCode < POSITION_OF_KEY_CODE.length && POSITION_OF_KEY_CODE[keyCode] > 0
                ? POSITION_OF_KEY_CODE[keyCode]
                : -1;
    }

    /** Android's key code for a position on a US keyboard; 0 (KEYCODE_UNKNOWN) for none. */
    static int keyCodeOf(int position) {
        for (int keyCode = 0; keyCode < POSITION_OF_KEY_CODE.length; keyCode++) {
            if (POSITION_OF_KEY_CODE[keyCode] == position) {
                return keyCode;
            }
        }
        return 0;
    }

    // Keeps the modifiers; true when the key was one.
    private boolean modifier(int position, boolean down, boolean repeated, Output out) {
        switch (position) {
            case KeyboardLayout.SHIFT_LEFT: shiftLeft = down; return true;
            case KeyboardLayout.SHIFT_RIGHT: shiftRight = down; return true;
            case KeyboardLayout.CTRL_LEFT: ctrlLeft = down; return true;
            case KeyboardLayout.CTRL_RIGHT: ctrlRight = down; return true;
            case KeyboardLayout.ALT_LEFT:
            case KeyboardLayout.ALT_RIGHT:
                if (position == KeyboardLayout.ALT_LEFT) {
                    altLeft = down;
                } else {
                    altRight = down;
                }
                if (!down && altCode >= 0) {
                    emitCode(altCode, out);
                }
                if (!repeated) {
                    altCode = -1;
                }
                return true;
            case KeyboardLayout.CAPS_LOCK:
                if (down && !repeated) {
                    capsLock = !capsLock;
                }
                return true;
            case KeyboardLayout.NUM_LOCK:
            case 125: // the Meta (Windows) keys
            case 126:
                return true;
            default:
                return false;
        }
    }

    private void typed(int position, int metaState, Output out) {
        boolean shift = shiftLeft || shiftRight || (metaState & META_SHIFT_ON) != 0;
        boolean ctrl = ctrlLeft || ctrlRight || (metaState & META_CTRL_ON) != 0;
        boolean leftAlt = altLeft || (metaState & META_ALT_LEFT_ON) != 0;
        boolean rightAlt = altRight || (metaState & META_ALT_RIGHT_ON) != 0;
        boolean altGr = layout.hasAltGr && (rightAlt || (ctrl && leftAlt));
        boolean alt = !altGr && (leftAlt || rightAlt);
        if (altGr) {
            ctrl = false;
        }
        int digit = keypadDigit(position);
        if (alt && !ctrl && digit >= 0) {
            // Capped just past the last code point: a longer code stays no character.
            altCode = Math.min(Math.max(altCode, 0) * 10 + digit, Character.MAX_CODE_POINT + 1);
            return;
        }
        boolean caps = metaCarriesLocks ? (metaState & META_CAPS_LOCK_ON) != 0 : capsLock;
        boolean shifted = shift ^ (caps && layout.capsShifts(position));
        char c = layout.character(position, (shifted ? KeyboardLayout.SHIFT : 0) | (altGr ? KeyboardLayout.ALTGR : 0));
        if (ctrl) {
            int control = control(c);
            if (control == 0) {
                control = control(KeyboardLayout.US.character(position, shift ? KeyboardLayout.SHIFT : 0));
            }
            if (control != 0) {
                emit(control, out);
            }
            return;
        }
        if (alt || c == 0) {
            return;
        }
        if (KeyboardLayout.isDead(c)) {
            if (dead != 0) {
                out.character(spacing(dead));
            }
            dead = c;
            return;
        }
        emit(c, out);
    }

    // A character, accented by a pending dead key where it can be.
    private void emit(int c, Output out) {
        char accent = dead;
        dead = 0;
        if (accent != 0) {
            if (c == ' ') {
                out.character(spacing(accent));
                return;
            }
            String composed = Normalizer.normalize(new String(Character.toChars(c)) + accent, Normalizer.Form.NFC);
            if (composed.codePointCount(0, composed.length()) == 1) {
                out.character(composed.codePointAt(0));
                return;
            }
            out.character(spacing(accent));
        }
        out.character(c);
    }

    private void emitCode(int code, Output out) {
        boolean character = code > 0 && code <= Character.MAX_CODE_POINT
                && !(code >= Character.MIN_SURROGATE && code <= Character.MAX_SURROGATE);
        if (character) {
            emit(code, out);
        }
    }

    private static int keypadDigit(int position) {
        for (int digit = 0; digit < 10; digit++) {
            if (KeyboardLayout.KEYPAD_DIGITS[digit] == position) {
                return digit;
            }
        }
        return -1;
    }

    // The C0 control character that Ctrl makes of c: Ctrl+A is 1, Ctrl+] is 0x1D; 0 for none
    // (Ctrl+@ would be NUL, which no barcode carries).
    private static int control(char c) {
        if (c >= 'a' && c <= 'z') {
            return c - 'a' + 1;
        }
        if ((c >= 'A' && c <= 'Z') || (c >= '[' && c <= '_')) {
            return c - '@';
        }
        return 0;
    }

    private static char spacing(char accent) {
        switch (accent) {
            case '\u0300': return '`';
            case '\u0301': return '\u00b4';
            case '\u0302': return '^';
            case '\u0303': return '~';
            case '\u0308': return '\u00a8';
            default: return accent;
        }
    }

    // The US position (Linux input code) of Android's key codes, by key code.
    private static final int[] POSITION_OF_KEY_CODE = new int[161];

    static {
        int[] pairs = {
            7, 11, 8, 2, 9, 3, 10, 4, 11, 5, 12, 6, 13, 7, 14, 8, 15, 9, 16, 10, // digits 0-9
            29, 30, 30, 48, 31, 46, 32, 32, 33, 18, 34, 33, 35, 34, 36, 35, 37, 23, 38, 36, // A-J
            39, 37, 40, 38, 41, 50, 42, 49, 43, 24, 44, 25, 45, 16, 46, 19, 47, 31, 48, 20, // K-T
            49, 22, 50, 47, 51, 17, 52, 45, 53, 21, 54, 44, // U-Z
            55, 51, 56, 52, 57, 56, 58, 100, 59, 42, 60, 54, 61, 15, 62, 57, 66, 28, 67, 14,
            68, 41, 69, 12, 70, 13, 71, 26, 72, 27, 73, 43, 74, 39, 75, 40, 76, 53, 111, 1,
            113, 29, 114, 97, 115, 58, 143, 69,
            144, 82, 145, 79, 146, 80, 147, 81, 148, 75, 149, 76, 150, 77, 151, 71, 152, 72, 153, 73,
            154, 98, 155, 55, 156, 74, 157, 78, 158, 83, 160, 96,
        };
        for (int i = 0; i < pairs.length; i += 2) {
            POSITION_OF_KEY_CODE[pairs[i]] = pairs[i + 1];
        }
    }
}
