package android.bluetooth.le;

import android.os.ParcelUuid;
import java.util.List;

/** Declaration for compiling the peer only; see android.app.Activity. Since API 21. */
public final class ScanRecord {
    private ScanRecord() {}

    public List<ParcelUuid> getServiceUuids() {
        throw new UnsupportedOperationException("declaration only");
    }

    public String getDeviceName() {
        throw new UnsupportedOperationException("declaration only");
    }
}
