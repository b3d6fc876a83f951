package android.bluetooth.le;

import android.os.ParcelUuid;
import java.util.List;

/** Fake for the desktop tests: what a fake scanner advertises. */
public final class ScanRecord {
    private final List<ParcelUuid> services;
    private final String name;

    public ScanRecord(List<ParcelUuid> services, String name) {
        this.services = services;
        this.name = name;
    }

    public List<ParcelUuid> getServiceUuids() {
        return services;
    }

    public String getDeviceName() {
        return name;
    }
}
