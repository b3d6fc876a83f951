package android.bluetooth.le;

import com.kestra.androidtest.FakeBluetooth;
import java.util.List;

/** Fake for the desktop tests: the search is FakeBluetooth's. */
public final class BluetoothLeScanner {
    public void startScan(List<ScanFilter> filters, ScanSettings settings, ScanCallback callback) {
        FakeBluetooth.startScan(filters, callback);
    }

    public void stopScan(ScanCallback callback) {
        FakeBluetooth.stopScan(callback);
    }
}
