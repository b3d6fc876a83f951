package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.util.List;

/**
 * What differs between scanners of one kind and another: where the list of devices comes from
 * and how a device connects. Everything else (the class contract, framing, errors, the reader's
 * lifecycle) is MobileBarcodeScanner's and the same for every transport. Transports.create
 * picks the transport of the build: Bluetooth in the app, the emulated devices in the console.
 */
interface Transport {
    /** Called from show() on the host's thread: asks the user for what the transport needs. */
    void prepare();

    /**
     * The devices to choose from now. What keeps a device off the list (or the list empty) is
     * added to problems in words; the devices that are fine are listed all the same.
     */
    List<ScannerDevice> devices(List<String> problems);

    /** The device with this address; the message of the exception says why there is none. */
    ScannerDevice find(String address) throws IOException;
}
