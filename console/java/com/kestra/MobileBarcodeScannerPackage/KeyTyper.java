package com.kestra.MobileBarcodeScannerPackage;

import java.text.Normalizer;

/**
 * Types text as a scanner in keyboard mode does, as the key presses of its layout: a character
 * by its key and level (Shift, AltGr), an accented one by a dead key and its letter where the
 * layout has that dead key, a control character as Ctrl with a key, anything else as Alt with
 * its code on the keypad (with a leading 0); then Enter. Control characters may be written by
 * their names in angle brackets, as the console shows them: "<GS>" types the group separator.
 */
final class KeyTyper {
    interface Keys {
        void key(int keyCode, int action, int metaState, int scanCode, int repeatCount);
    }

    private static final String[] CONTROL_NAMES = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",
        "HT", "LF", "VT", "FF", "CR", "SO", "SI", "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN",
        "EM", "SUB", "ESC", "FS", "GS", "RS", "US"};

    private final KeyboardLayout layout;
    private final Keys keys;

    KeyTyper(KeyboardLayout layout, Keys keys) {
        this.layout = layout;
        this.keys = keys;
    }

    /** Types the barcode, then Enter. */
    void type(String text) {
        String expanded = expandNames(text);
        for (int i = 0; i < expanded.length(); i = expanded.offsetByCodePoints(i, 1)) {
            typeCharacter(expanded.codePointAt(i));
        }
        press(KeyboardLayout.ENTER, 0, false);
    }

    /** "<GS>" and the other names of control characters as the characters themselves. */
    static String expandNames(String text) {
        StringBuilder out = new StringBuilder();
        for (int i = 0; i < text.length(); i++) {
            int close = text.charAt(i) == '<' ? text.indexOf('>', i) : -1;
            int code = close > 0 ? controlNamed(text.substring(i + 1, close)) : -1;
            if (code > 0) {
                out.append((char) code);
                i = close;
            } else {
                out.append(text.charAt(i));
            }
        }
        return out.toString();
    }

    private static int controlNamed(String name) {
        for (int code = 0; code < CONTROL_NAMES.length; code++) {
            if (CONTROL_NAMES[code].equals(name)) {
                return code;
            }
        }
        return -1;
    }

    private void typeCharacter(int c) {
        if (c < ' ' && c != '\t') {
            if (!typeControl(c)) {
                typeCode(c);
            }
            return;
        }
        if (c <= Character.MAX_VALUE && typeKey((char) c)) {
            return;
        }
        String decomposed = Normalizer.normalize(new String(Character.toChars(c)), Normalizer.Form.NFD);
        // An accented letter the layout has no key for: its dead key, then the letter.
        if (decomposed.length() == 2 && KeyboardLayout.isDead(decomposed.charAt(1)) && hasKey(decomposed.charAt(1))
                && hasKey(decomposed.charAt(0))) {
            typeKey(decomposed.charAt(1));
            typeKey(decomposed.charAt(0));
            return;
        }
        typeCode(c);
    }

    private boolean hasKey(char c) {
        return findKey(c) != null;
    }

    // Presses the key and level that give c (a combining accent: its dead key); false for none.
    private boolean typeKey(char c) {
        int[] found = findKey(c);
        if (found != null) {
            press(found[0], found[1], false);
        }
        return found != null;
    }

    // The first key that gives c at the lowest level; the keypad's digits are left to Alt codes.
    private int[] findKey(char c) {
        for (int level = 0; level < 4; level++) {
            for (int position = 1; position < KeyboardLayout.POSITIONS; position++) {
                if (layout.character(position, level) == c && keypadDigit(position) < 0) {
                    return new int[] {position, level};
                }
            }
        }
        return null;
    }

    // Ctrl with the layout's own letter, or with the key whose US character gives the control
    // character where the layout's own character there gives none.
    private boolean typeControl(int c) {
        if (c >= 1 && c <= 26) {
            for (int level = 0; level < 2; level++) {
                for (int position = 1; position < KeyboardLayout.POSITIONS; position++) {
                    if (Character.toLowerCase(layout.character(position, level)) == 'a' + c - 1) {
                        press(position, level, true);
                        return true;
                    }
                }
            }
        }
        char wanted = (char) (c + '@');
        for (int level = 0; level < 2; level++) {
            for (int position = 1; position < KeyboardLayout.POSITIONS; position++) {
                char own = layout.character(position, level);
                boolean ownGivesNone = !(own >= '@' && own <= '_') && !(own >= 'a' && own <= 'z');
                char us = KeyboardLayout.US.character(position, level);
                if ((us == wanted || us == Character.toLowerCase(wanted)) && (own == us || ownGivesNone)) {
                    press(position, level, true);
                    return true;
                }
            }
        }
        return false;
    }

    // Alt held while the code's decimal digits, after a 0, are typed on the keypad.
    private void typeCode(int c) {
        key(KeyboardLayout.ALT_LEFT, KeyDecoder.ACTION_DOWN);
        for (char digit : ("0" + c).toCharArray()) {
            press(KeyboardLayout.KEYPAD_DIGITS[digit - '0'], 0, false);
        }
        key(KeyboardLayout.ALT_LEFT, KeyDecoder.ACTION_UP);
    }

    private void press(int position, int level, boolean ctrl) {
        int[] held = new int[3];
        int count = 0;
        if (ctrl) {
            held[count++] = KeyboardLayout.CTRL_LEFT;
        }
        if ((level & KeyboardLayout.SHIFT) != 0) {
            held[count++] = KeyboardLayout.SHIFT_LEFT;
        }
        if ((level & KeyboardLayout.ALTGR) != 0) {
            held[count++] = KeyboardLayout.ALT_RIGHT;
        }
        for (int i = 0; i < count; i++) {
            key(held[i], KeyDecoder.ACTION_DOWN);
        }
        key(position, KeyDecoder.ACTION_DOWN);
        key(position, KeyDecoder.ACTION_UP);
        for (int i = count - 1; i >= 0; i--) {
            key(held[i], KeyDecoder.ACTION_UP);
        }
    }

    private void key(int position, int action) {
        keys.key(KeyDecoder.keyCodeOf(position), action, 0, position, 0);
    }

    private static int keypadDigit(int position) {
        for (int digit = 0; digit < 10; digit++) {
            if (KeyboardLayout.KEYPAD_DIGITS[digit] == position) {
                return digit;
            }
        }
        return -1;
    }
}
