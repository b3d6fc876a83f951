package android.bluetooth.le;

import android.os.ParcelUuid;

/** Fake for the desktop tests: only the service filter. */
public final class ScanFilter {
    private final ParcelUuid service;

    private ScanFilter(ParcelUuid service) {
        this.service = service;
    }

    public ParcelUuid getServiceUuid() {
        return service;
    }

    public static final class Builder {
        private ParcelUuid service;

        public Builder() {}

        public ScanFilter.Builder setServiceUuid(ParcelUuid serviceUuid) {
            service = serviceUuid;
            return this;
        }

        public ScanFilter build() {
            return new ScanFilter(service);
        }
    }
}
