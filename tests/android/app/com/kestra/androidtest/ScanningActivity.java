package com.kestra.androidtest;

import android.app.Activity;
import com.kestra.MobileBarcodeScannerPackage.ScannerOptions;

/**
 * The app around the driver, as the shrinker sees it: an activity the app's own rules keep.
 * Like a real app it never names the scanner peer; only the native library reaches it. It does
 * set the options of its scanners, as an app does from its own code.
 */
public class ScanningActivity extends Activity {
    /** The layout and end key of the keyboard scanner at this address (null: every one). */
    public static void configureKeyboardScanner(String address, String layout, boolean tabEnds) {
        ScannerOptions.set(address != null ? address : ScannerOptions.ALL_DEVICES,
                "layout=" + layout + " tab-ends=" + (tabEnds ? "yes" : "no"));
    }

    /** Options of a scanner as the app writes them (ScannerOptions' text). */
    public static void setScannerOptions(String address, String options) {
        ScannerOptions.set(address, options);
    }

    /** Back to the defaults: US layout, Enter alone ends a barcode. */
    public static void forgetKeyboardScanners() {
        ScannerOptions.clear();
    }
}
