package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;

/** One emulated scanner: its Bluetooth-style address, the name it shows, its barcode source. */
final class EmulatedDevice extends ScannerDevice {
    final BarcodeSource source;

    EmulatedDevice(String address, String name, BarcodeSource source) {
        super(address, name);
        this.source = source;
    }

    @Override
    SourceStream connect() throws IOException {
        return new WatchedStream(this, source.connect());
    }
}
