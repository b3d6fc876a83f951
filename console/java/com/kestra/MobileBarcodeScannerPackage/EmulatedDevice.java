package com.kestra.MobileBarcodeScannerPackage;

import com.kestra.console.ScannerWatch;
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
        return source.connect(this);
    }

    // The console prints it at once, with or without the driver's log.
    @Override
    void tell(String what, String text) {
        ScannerWatch.tell(what, label(), text);
    }
}
