package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;

/**
 * The app's transports, as one (KindsOfScanner): Bluetooth scanners in serial-port mode paired
 * with the phone (BluetoothTransport), whose addresses carry no prefix, scanners in keyboard
 * mode (KeyboardTransport, "hid:") and scanners over Bluetooth Low Energy (LeTransport, "ble:").
 * Other kinds of scanner are added here with a prefix and a label of their own.
 */
final class Transports {
    private Transports() {}

    static Transport create(Activity activity) {
        return new KindsOfScanner()
                .add("", null, new BluetoothTransport(activity))
                .add(KeyboardTransport.PREFIX, "keyboard", new KeyboardTransport(activity))
                .add(LeTransport.PREFIX, "Bluetooth LE", new LeTransport(activity));
    }
}
