package com.kestra.androidtest;

import android.app.Activity;
import com.kestra.MobileBarcodeScannerPackage.KeyboardScanners;

/**
 * The app around the driver, as the shrinker sees it: an activity the app's own rules keep.
 * Like a real app it never names the scanner peer; only the native library reaches it. It does
 * configure its keyboard-mode scanners, as an app does from its own code.
 */
public class ScanningActivity extends Activity {
    /** The layout and end key of the keyboard scanner at this address (null: every one). */
    public static void configureKeyboardScanner(String address, String layout, boolean tabEnds) {
        KeyboardScanners.setLayout(address, layout);
        KeyboardScanners.setTabEndsBarcode(address, tabEnds);
    }

    /** Back to the defaults: US layout, Enter alone ends a barcode. */
    public static void forgetKeyboardScanners() {
        KeyboardScanners.clear();
    }
}
