package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;

/** The app's transport: Bluetooth scanners paired with the phone (BluetoothTransport). */
final class Transports {
    private Transports() {}

    static Transport create(Activity activity) {
        return new BluetoothTransport(activity);
    }
}
