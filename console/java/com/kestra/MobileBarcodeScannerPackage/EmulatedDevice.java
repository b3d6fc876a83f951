package com.kestra.MobileBarcodeScannerPackage;

/** One emulated scanner: its Bluetooth-style address, the name it shows, its barcode source. */
final class EmulatedDevice {
    final String address;
    final String name;
    final BarcodeSource source;

    EmulatedDevice(String address, String name, BarcodeSource source) {
        this.address = address;
        this.name = name;
        this.source = source;
    }

    /** How error texts name the device. */
    String label() {
        return "scanner '" + name + "' (" + address + ")";
    }
}
