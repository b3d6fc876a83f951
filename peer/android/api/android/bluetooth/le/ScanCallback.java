package android.bluetooth.le;

import java.util.List;

/** Declaration for compiling the peer only; see android.app.Activity. Since API 21. */
public abstract class ScanCallback {
    public ScanCallback() {}

    public void onScanResult(int callbackType, ScanResult result) {}

    public void onBatchScanResults(List<ScanResult> results) {}

    public void onScanFailed(int errorCode) {}
}
