package com.kestra.MobileBarcodeScannerPackage;

import java.util.HashMap;
import java.util.Locale;
import java.util.Map;

/**
 * The app's settings for scanners in keyboard mode, called from the app's own code (at start-up,
 * say): the layout each scanner types for, and whether Tab ends a barcode as Enter does. A
 * setting applies from the next OpenDevice of that scanner. Without one, a scanner types for US
 * QWERTY (as most scanners leave the factory) and only Enter ends a barcode.
 *
 * Addresses are those of the device list ("hid:..."); a null address sets the default for every
 * keyboard scanner without a setting of its own.
 */
public final class KeyboardScanners {
    private static final class Setting {
        KeyboardLayout layout;
        Boolean tabEnds;
    }

    private static final Map<String, Setting> settings = new HashMap<String, Setting>(); // under the class lock
    private static KeyboardLayout defaultLayout = KeyboardLayout.US; // under the class lock
    private static boolean defaultTabEnds; // under the class lock

    private KeyboardScanners() {}

    /**
     * The layout the scanner at this address types for: "us", "fr" (AZERTY), "de" (QWERTZ) or
     * "ru". Throws IllegalArgumentException for any other.
     */
    public static synchronized void setLayout(String address, String layout) {
        KeyboardLayout chosen = KeyboardLayout.named(layout);
        if (chosen == null) {
            throw new IllegalArgumentException("no keyboard layout '" + layout + "': use us, fr, de or ru");
        }
        if (address == null) {
            defaultLayout = chosen;
        } else {
            setting(address).layout = chosen;
        }
    }

    /** Whether Tab ends a barcode from the scanner at this address, as Enter does. */
    public static synchronized void setTabEndsBarcode(String address, boolean tabEnds) {
        if (address == null) {
            defaultTabEnds = tabEnds;
        } else {
            setting(address).tabEnds = tabEnds;
        }
    }

    /** Back to no settings at all. */
    public static synchronized void clear() {
        settings.clear();
        defaultLayout = KeyboardLayout.US;
        defaultTabEnds = false;
    }

    /** A decoder with the settings of this address now. */
    static synchronized KeyDecoder decoderFor(String address, boolean metaCarriesLocks) {
        Setting own = settings.get(key(address));
        KeyboardLayout layout = own != null && own.layout != null ? own.layout : defaultLayout;
        boolean tabEnds = own != null && own.tabEnds != null ? own.tabEnds : defaultTabEnds;
        return new KeyDecoder(layout, tabEnds, metaCarriesLocks);
    }

    private static Setting setting(String address) {
        Setting own = settings.get(key(address));
        if (own == null) {
            own = new Setting();
            settings.put(key(address), own);
        }
        return own;
    }

    // Prefixes are matched ignoring case, as the device list's kinds do.
    private static String key(String address) {
        int colon = address.indexOf(':');
        return colon < 0 ? address : address.substring(0, colon).toLowerCase(Locale.ROOT) + address.substring(colon);
    }
}
