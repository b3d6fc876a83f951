package com.kestra.MobileBarcodeScannerPackage;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.Reader;
import java.nio.charset.Charset;
import java.util.HashMap;
import java.util.Locale;
import java.util.Map;

/**
 * The app's choices for its scanners: what the scanner peer does with the bytes a scanner sends
 * and how it keeps the link. The app sets them once, before the host creates the peer (in its
 * Application's or first activity's onCreate), for all devices or per device address, in code
 * (set) or from a text resource (read). Each device takes them when it is opened.
 *
 * Options are written as text, "name=value" separated by blanks, the same in code, in a resource
 * and in the desk console's devices file:
 *
 *   codepage=NAME        how a line that is not valid UTF-8 is decoded (windows-1251, windows-1252,
 *                        ISO-8859-1, IBM866...). Without it: Windows-1251 when the phone's language
 *                        is Russian, Ukrainian, Belarusian, Bulgarian, Serbian or Kazakh,
 *                        Windows-1252 otherwise. A line that is valid UTF-8 is always UTF-8.
 *   framing=line         a barcode ends at every CR, LF or CR LF (the default)
 *   framing=idle-gap     a barcode ends at a line end only when no byte follows within the idle
 *                        gap, so that the line breaks of a multi-line code stay in it
 *   idle-gap-ms=N        the idle gap, 1 to 2000 ms (default 50)
 *   retry-ms=N           after a lost link: the wait after the first attempt to reconnect fails,
 *                        doubled after each further failure (default 1000)
 *   retry-cap-ms=N       the longest wait between two attempts, at most 30000 (the default)
 *
 * For scanners in keyboard mode ("hid:" addresses), which type their barcodes:
 *
 *   layout=NAME          the layout the scanner types for: us (the default, as most scanners
 *                        leave the factory), fr (AZERTY), de (QWERTZ) or ru
 *   tab-ends=yes|no      whether Tab ends a barcode as Enter does (default no)
 *   unfinished-ms=N      a barcode typed without its Enter, followed by no key for N ms (1 to
 *                        60000), is dropped and the last error says so (default: it waits for
 *                        its Enter, or is dropped when the keyboard goes away)
 *
 * Addresses are compared without regard to case. Options for one device override those for all.
 */
public final class ScannerOptions {
    /** The address that stands for every device. */
    public static final String ALL_DEVICES = "*";

    static final String LINE = "line";
    static final String IDLE_GAP = "idle-gap";
    static final int MAX_IDLE_GAP_MILLIS = 2000;
    static final int MAX_RETRY_MILLIS = 30000;
    static final int MAX_UNFINISHED_MILLIS = 60000;

    private static final String[] CYRILLIC_LANGUAGES = {"ru", "uk", "be", "bg", "sr", "kk"};

    // The app's choices, by lower-case address; written by the app's thread, read when a device opens.
    private static final Map<String, ScannerOptions> chosen = new HashMap<String, ScannerOptions>();

    // Each null (or 0) when not given, so that one set of options can be laid over another.
    private Charset codePage;
    private String framing;
    private int idleGapMillis;
    private int retryMillis;
    private int retryCapMillis;
    private KeyboardLayout layout;
    private Boolean tabEnds;
    private int unfinishedMillis;

    private ScannerOptions() {}

    /**
     * Sets the options of one device (or of all, with ALL_DEVICES), replacing those set before
     * for it. Throws IllegalArgumentException naming what is wrong in the text.
     */
    public static void set(String address, String options) {
        ScannerOptions parsed = parse(options);
        synchronized (chosen) {
            chosen.put(key(address), parsed);
        }
    }

    /**
     * Reads options from text, one device a line, "address | options", the address ALL_DEVICES
     * for all; blank lines and lines starting with # are skipped. Nothing is set when a line is
     * wrong: the IllegalArgumentException names the line and what is wrong in it.
     */
    public static void read(Reader text) throws IOException {
        Map<String, ScannerOptions> lines = new HashMap<String, ScannerOptions>();
        BufferedReader reader = new BufferedReader(text);
        int number = 0;
        for (String line = reader.readLine(); line != null; line = reader.readLine()) {
            number++;
            line = line.replace("\uFEFF", "").trim();
            if (line.isEmpty() || line.startsWith("#")) {
                continue;
            }
            int bar = line.indexOf('|');
            if (bar < 0 || line.substring(0, bar).trim().isEmpty()) {
                throw new IllegalArgumentException("line " + number + ": expected 'address | options'");
            }
            try {
                lines.put(key(line.substring(0, bar).trim()), parse(line.substring(bar + 1)));
            } catch (IllegalArgumentException e) {
                throw new IllegalArgumentException("line " + number + ": " + e.getMessage());
            }
        }
        synchronized (chosen) {
            chosen.putAll(lines);
        }
    }

    /** Forgets every choice: each device then takes the defaults. */
    public static void clear() {
        synchronized (chosen) {
            chosen.clear();
        }
    }

    /**
     * Checks options written as text; throws IllegalArgumentException naming what is wrong. The
     * console checks the options of its devices file with it.
     */
    static ScannerOptions parse(String text) {
        ScannerOptions options = new ScannerOptions();
        for (String item : text.trim().split("[ \t,;]+")) {
            if (item.isEmpty()) {
                continue;
            }
            int equals = item.indexOf('=');
            String name = equals < 0 ? item : item.substring(0, equals).toLowerCase(Locale.ROOT);
            String value = equals < 0 ? "" : item.substring(equals + 1);
            if (name.equals("codepage")) {
                options.codePage = charset(value);
            } else if (name.equals("framing")) {
                if (!value.equalsIgnoreCase(LINE) && !value.equalsIgnoreCase(IDLE_GAP)) {
                    throw new IllegalArgumentException("framing is 'line' or 'idle-gap', not '" + value + "'");
                }
                options.framing = value.toLowerCase(Locale.ROOT);
            } else if (name.equals("idle-gap-ms")) {
                options.idleGapMillis = millis(name, value, MAX_IDLE_GAP_MILLIS);
            } else if (name.equals("retry-ms")) {
                options.retryMillis = millis(name, value, MAX_RETRY_MILLIS);
            } else if (name.equals("retry-cap-ms")) {
                options.retryCapMillis = millis(name, value, MAX_RETRY_MILLIS);
            } else if (name.equals("layout")) {
                options.layout = KeyboardLayout.named(value.toLowerCase(Locale.ROOT));
                if (options.layout == null) {
                    throw new IllegalArgumentException("layout is us, fr, de or ru, not '" + value + "'");
                }
            } else if (name.equals("tab-ends")) {
                options.tabEnds = yesOrNo(name, value);
            } else if (name.equals("unfinished-ms")) {
                options.unfinishedMillis = millis(name, value, MAX_UNFINISHED_MILLIS);
            } else {
                throw new IllegalArgumentException("unknown option '" + item + "' (codepage=, framing=, idle-gap-ms=,"
                        + " retry-ms=, retry-cap-ms=, layout=, tab-ends=, unfinished-ms=)");
            }
        }
        return options;
    }

    /**
     * The options a device opens with: the app's for all devices, under those the transport gives
     * the device itself (the console's devices file), under the app's for this address; then the
     * defaults for what none of them gives.
     */
    static ScannerOptions of(ScannerDevice device) {
        ScannerOptions own = device.options();
        ScannerOptions forAll;
        ScannerOptions forDevice;
        synchronized (chosen) {
            forAll = chosen.get(ALL_DEVICES);
            forDevice = chosen.get(key(device.address));
        }
        ScannerOptions result = new ScannerOptions();
        result.layOver(forAll);
        result.layOver(own);
        result.layOver(forDevice);
        if (result.codePage == null) {
            result.codePage = device.charset != null ? device.charset : languageCodePage(Locale.getDefault());
        }
        if (result.framing == null) {
            result.framing = LINE;
        }
        if (result.idleGapMillis == 0) {
            result.idleGapMillis = 50;
        }
        if (result.retryMillis == 0) {
            result.retryMillis = 1000;
        }
        if (result.retryCapMillis == 0) {
            result.retryCapMillis = MAX_RETRY_MILLIS;
        }
        if (result.layout == null) {
            result.layout = KeyboardLayout.US;
        }
        if (result.tabEnds == null) {
            result.tabEnds = false;
        }
        return result;
    }

    /** The code page old scanners are most often set to for users of this language. */
    static Charset languageCodePage(Locale locale) {
        String language = locale.getLanguage();
        for (String cyrillic : CYRILLIC_LANGUAGES) {
            if (cyrillic.equals(language)) {
                return Charset.forName("windows-1251");
            }
        }
        return Charset.forName("windows-1252");
    }

    Charset codePage() {
        return codePage;
    }

    /** The idle gap of idle-gap framing, 0 under line framing. */
    int idleGapMillis() {
        return IDLE_GAP.equals(framing) ? idleGapMillis : 0;
    }

    int retryMillis() {
        return retryMillis;
    }

    int retryCapMillis() {
        return Math.max(retryCapMillis, 1);
    }

    /**
     * A decoder of the keys of a scanner in keyboard mode, by its layout and end keys.
     * metaCarriesLocks: whether the key events' meta state tells Caps Lock (Android's do).
     */
    KeyDecoder keyDecoder(boolean metaCarriesLocks) {
        return new KeyDecoder(layout, tabEnds, metaCarriesLocks);
    }

    /** How long an unfinished typed barcode waits for its next key before it is dropped; 0: for ever. */
    int unfinishedMillis() {
        return unfinishedMillis;
    }

    private void layOver(ScannerOptions upper) {
        if (upper == null) {
            return;
        }
        codePage = upper.codePage != null ? upper.codePage : codePage;
        framing = upper.framing != null ? upper.framing : framing;
        idleGapMillis = upper.idleGapMillis != 0 ? upper.idleGapMillis : idleGapMillis;
        retryMillis = upper.retryMillis != 0 ? upper.retryMillis : retryMillis;
        retryCapMillis = upper.retryCapMillis != 0 ? upper.retryCapMillis : retryCapMillis;
        layout = upper.layout != null ? upper.layout : layout;
        tabEnds = upper.tabEnds != null ? upper.tabEnds : tabEnds;
        unfinishedMillis = upper.unfinishedMillis != 0 ? upper.unfinishedMillis : unfinishedMillis;
    }

    private static boolean yesOrNo(String name, String value) {
        if (value.equalsIgnoreCase("yes") || value.equalsIgnoreCase("true")) {
            return true;
        }
        if (value.equalsIgnoreCase("no") || value.equalsIgnoreCase("false")) {
            return false;
        }
        throw new IllegalArgumentException(name + " is yes or no, not '" + value + "'");
    }

    private static String key(String address) {
        if (address == null || address.trim().isEmpty()) {
            throw new IllegalArgumentException("no device address given (use " + ALL_DEVICES + " for all)");
        }
        return address.trim().toLowerCase(Locale.ROOT);
    }

    private static Charset charset(String name) {
        Charset charset;
        try {
            charset = Charset.forName(name);
        } catch (RuntimeException e) {
            throw new IllegalArgumentException("'" + name + "' is no code page this system knows");
        }
        // Line ends must stay the single bytes 13 and 10 for the framing to find them.
        byte[] lineEnds = "\r\n".getBytes(charset);
        if (lineEnds.length != 2 || lineEnds[0] != 13 || lineEnds[1] != 10) {
            throw new IllegalArgumentException("the code page '" + name + "' does not write CR and LF as single bytes");
        }
        return charset;
    }

    private static int millis(String name, String value, int most) {
        int number;
        try {
            number = Integer.parseInt(value);
        } catch (NumberFormatException e) {
            number = -1;
        }
        if (number < 1 || number > most) {
            throw new IllegalArgumentException(name + " is a number of milliseconds from 1 to " + most + ", not '"
                    + value + "'");
        }
        return number;
    }
}
