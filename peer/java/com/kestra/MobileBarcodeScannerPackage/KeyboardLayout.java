package com.kestra.MobileBarcodeScannerPackage;

import java.util.Locale;

/**
 * What a scanner in keyboard mode means by each key: the characters of a key position for the
 * layout the scanner types for (US QWERTY, French AZERTY, German QWERTZ, Russian). Positions are
 * the keys' Linux input codes, which Android reports as a key event's scan code whatever layout
 * the phone is set to; a key code names a position only through the phone's layout, which may
 * remap it (a French phone reports the key at the US 'Q' as KEYCODE_A).
 *
 * Each position has up to four levels: plain, Shift, AltGr, Shift+AltGr. A combining accent
 * (U+0300 to U+036F) in a level is a dead key: it accents the next character typed.
 */
final class KeyboardLayout {
    static final int SHIFT = 1;
    static final int ALTGR = 2;

    // Linux input codes of the positions every layout shares.
    static final int ESCAPE = 1;
    static final int BACKSPACE = 14;
    static final int TAB = 15;
    static final int ENTER = 28;
    static final int CTRL_LEFT = 29;
    static final int SHIFT_LEFT = 42;
    static final int SHIFT_RIGHT = 54;
    static final int ALT_LEFT = 56;
    static final int SPACE = 57;
    static final int CAPS_LOCK = 58;
    static final int NUM_LOCK = 69;
    static final int KEYPAD_ENTER = 96;
    static final int CTRL_RIGHT = 97;
    static final int ALT_RIGHT = 100;
    static final int POSITIONS = 128;

    /** The keypad's digits, 0 to 9, by position: the same in every layout. */
    static final int[] KEYPAD_DIGITS = {82, 79, 80, 81, 75, 76, 77, 71, 72, 73};

    static final String[] NAMES = {"us", "fr", "de", "ru"};

    final String name;
    final boolean hasAltGr;
    private final String[][] levels = new String[POSITIONS][];

    private KeyboardLayout(String name, boolean hasAltGr) {
        this.name = name;
        this.hasAltGr = hasAltGr;
        for (int digit = 0; digit < 10; digit++) {
            put(KEYPAD_DIGITS[digit], String.valueOf((char) ('0' + digit)));
        }
        put(55, "*");
        put(74, "-");
        put(78, "+");
        put(83, ".");
        put(98, "/");
        put(SPACE, " ", " ");
        put(TAB, "\t", "\t");
    }

    /** The layout of this name ("us", "fr", "de", "ru", any case); null for none of them. */
    static KeyboardLayout named(String name) {
        switch (name == null ? "" : name.toLowerCase(Locale.ROOT)) {
            case "us": return US;
            case "fr": return FR;
            case "de": return DE;
            case "ru": return RU;
            default: return null;
        }
    }

    /** The character of a position at a level (SHIFT and ALTGR bits), 0 for none. */
    char character(int position, int level) {
        String[] keyLevels = position >= 0 && position < POSITIONS ? levels[position] : null;
        if (keyLevels == null || level >= keyLevels.length || keyLevels[level] == null) {
            return 0;
        }
        return keyLevels[level].charAt(0);
    }

    /** Whether Caps Lock shifts this position: a letter whose Shift level is its capital. */
    boolean capsShifts(int position) {
        char plain = character(position, 0);
        char shifted = character(position, SHIFT);
        return Character.isLetter(plain) && shifted == Character.toUpperCase(plain) && shifted != plain;
    }

    static boolean isDead(char c) {
        return c >= '\u0300' && c <= '\u036F';
    }

    private void put(int position, String... keyLevels) {
        levels[position] = keyLevels;
    }

    // Puts one row of keys: the n-th character of each level string goes to position first+n;
    // a blank in a level string leaves that level empty.
    private KeyboardLayout row(int first, String plain, String shift, String altGr) {
        for (int i = 0; i < plain.length(); i++) {
            String[] keyLevels = new String[altGr == null ? 2 : 3];
            keyLevels[0] = level(plain, i);
            keyLevels[SHIFT] = level(shift, i);
            if (altGr != null) {
                keyLevels[ALTGR] = level(altGr, i);
            }
            levels[first + i] = keyLevels;
        }
        return this;
    }

    private static String level(String keys, int i) {
        return i < keys.length() && keys.charAt(i) != ' ' ? String.valueOf(keys.charAt(i)) : null;
    }

    private KeyboardLayout key(int position, String plain, String shift) {
        put(position, plain, shift);
        return this;
    }

    static final KeyboardLayout US = new KeyboardLayout("us", false)
            .row(2, "1234567890-=", "!@#$%^&*()_+", null)
            .row(16, "qwertyuiop[]", "QWERTYUIOP{}", null)
            .row(30, "asdfghjkl;'`", "ASDFGHJKL:\"~", null)
            .key(43, "\\", "|")
            .row(44, "zxcvbnm,./", "ZXCVBNM<>?", null)
            .key(86, "\\", "|");

    // AZERTY: the key right of P is a dead circumflex, with Shift a dead diaeresis.
    static final KeyboardLayout FR = new KeyboardLayout("fr", true)
            .row(2, "&\u00e9\"'(-\u00e8_\u00e7\u00e0)=", "1234567890\u00b0+", " ~#{[|`\\^@]}")
            .row(16, "azertyuiop\u0302$", "AZERTYUIOP\u0308\u00a3", "  \u20ac        \u00a4")
            .row(30, "qsdfghjklm\u00f9\u00b2", "QSDFGHJKLM%", null)
            .key(43, "*", "\u00b5")
            .row(44, "wxcvbn,;:!", "WXCVBN?./\u00a7", null)
            .key(86, "<", ">");

    // QWERTZ: the key left of 1 is a dead circumflex, the key left of Backspace a dead acute
    // (with Shift a dead grave).
    static final KeyboardLayout DE = new KeyboardLayout("de", true)
            .row(2, "1234567890\u00df\u0301", "!\"\u00a7$%&/()=?\u0300", " \u00b2\u00b3   {[]}\\")
            .row(16, "qwertzuiop\u00fc+", "QWERTZUIOP\u00dc*", "@ \u20ac        ~")
            .row(30, "asdfghjkl\u00f6\u00e4\u0302", "ASDFGHJKL\u00d6\u00c4\u00b0", null)
            .key(43, "#", "'")
            .row(44, "yxcvbnm,.-", "YXCVBNM;:_", "      \u00b5")
            .row(86, "<", ">", "|");

    static final KeyboardLayout RU = new KeyboardLayout("ru", false)
            .row(2, "1234567890-=", "!\"\u2116;%:?*()_+", null)
            .row(16, "\u0439\u0446\u0443\u043a\u0435\u043d\u0433\u0448\u0449\u0437\u0445\u044a",
                    "\u0419\u0426\u0423\u041a\u0415\u041d\u0413\u0428\u0429\u0417\u0425\u042a", null)
            .row(30, "\u0444\u044b\u0432\u0430\u043f\u0440\u043e\u043b\u0434\u0436\u044d\u0451",
                    "\u0424\u042b\u0412\u0410\u041f\u0420\u041e\u041b\u0414\u0416\u042d\u0401", null)
            .key(43, "\\", "/")
            .row(44, "\u044f\u0447\u0441\u043c\u0438\u0442\u044c\u0431\u044e.",
                    "\u042f\u0427\u0421\u041c\u0418\u0422\u042c\u0411\u042e,", null)
            .key(86, "\\", "/");
}
