package android.bluetooth.le;

import java.util.List;

/** Declaration for compiling the peer only; see android.app.Activity. Since API 21. */
public final class BluetoothLeScanner {
    private BluetoothLeScanner() {}

    public void startScan(List<ScanFilter> filters, ScanSettings settings, ScanCallback callback) {
        throw new UnsupportedOperationException("declaration only");
    }

    public void stopScan(ScanCallback callback) {
        throw new UnsupportedOperationException("declaration only");
    }
}
