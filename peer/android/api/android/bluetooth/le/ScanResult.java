package android.bluetooth.le;

import android.bluetooth.BluetoothDevice;

/**
 * Declaration for compiling the peer only; see android.app.Activity. Since API 21; the
 * platform's class also implements Parcelable, which the peer does not use.
 */
public final class ScanResult {
    private ScanResult() {}

    public BluetoothDevice getDevice() {
        throw new UnsupportedOperationException("declaration only");
    }

    public ScanRecord getScanRecord() {
        throw new UnsupportedOperationException("declaration only");
    }
}
