package android.bluetooth.le;

import android.os.ParcelUuid;

/**
 * Declaration for compiling the peer only; see android.app.Activity. Since API 21; the
 * platform's class also implements Parcelable, which the peer does not use.
 */
public final class ScanFilter {
    private ScanFilter() {}

    public static final class Builder {
        public Builder() {
            throw new UnsupportedOperationException("declaration only");
        }

        public ScanFilter.Builder setServiceUuid(ParcelUuid serviceUuid) {
            throw new UnsupportedOperationException("declaration only");
        }

        public ScanFilter build() {
            throw new UnsupportedOperationException("declaration only");
        }
    }
}
