package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;

/**
 * One emulated scanner: its Bluetooth-style address, the name it shows, its barcode source and the
 * options of its line in the devices file.
 */
final class EmulatedDevice extends ScannerDevice {
    final BarcodeSource source;
    private final ScannerOptions options;

    EmulatedDevice(String address, String name, BarcodeSource source, ScannerOptions options) {
        super(address, name);
        this.source = source;
        this.options = options;
    }

    /** The options of its line in the devices file; null when it has none. */
    @Override
    ScannerOptions options() {
        return options;
    }

    @Override
    SourceStream connect() throws IOException {
        return new WatchedStream(this, source.connect());
    }
}
