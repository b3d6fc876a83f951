package android.bluetooth.le;

import java.util.List;

/** Fake for the desktop tests. */
public abstract class ScanCallback {
    public ScanCallback() {}

    public void onScanResult(int callbackType, ScanResult result) {}

    public void onBatchScanResults(List<ScanResult> results) {}

    public void onScanFailed(int errorCode) {}
}
