package android.bluetooth.le;

/** Fake for the desktop tests. */
public final class ScanSettings {
    public static final int SCAN_MODE_LOW_LATENCY = 2;

    private ScanSettings() {}

    public static final class Builder {
        public Builder() {}

        public ScanSettings.Builder setScanMode(int scanMode) {
            return this;
        }

        public ScanSettings build() {
            return new ScanSettings();
        }
    }
}
