package android.bluetooth.le;

/**
 * Declaration for compiling the peer only; see android.app.Activity. Since API 21; the
 * platform's class also implements Parcelable, which the peer does not use.
 */
public final class ScanSettings {
    public static final int SCAN_MODE_LOW_LATENCY = 2;

    private ScanSettings() {}

    public static final class Builder {
        public Builder() {
            throw new UnsupportedOperationException("declaration only");
        }

        public ScanSettings.Builder setScanMode(int scanMode) {
            throw new UnsupportedOperationException("declaration only");
        }

        public ScanSettings build() {
            throw new UnsupportedOperationException("declaration only");
        }
    }
}
