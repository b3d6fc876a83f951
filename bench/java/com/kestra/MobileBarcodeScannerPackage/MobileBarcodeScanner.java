package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;

/**
 * The benchmark's scanner peer: every device call returns at once, so a benchmark of a driver
 * call measures the library and the JNI crossing, not a device. Barcodes are sent in a loop on
 * request, as a reader thread would send them.
 */
public class MobileBarcodeScanner {
    private static volatile MobileBarcodeScanner latest;
    private static volatile String devicesList = "";

    private final long recorder;

    public MobileBarcodeScanner(Activity activity, long recorder) {
        this.recorder = recorder;
        latest = this;
    }

    /** The peer the library created last. */
    public static MobileBarcodeScanner latest() {
        return latest;
    }

    /** What GetDevicesList returns from now on. */
    public static void setDevicesList(String list) {
        devicesList = list;
    }

    /** Sends the same barcode count times through the library, on the calling thread. */
    public void sendBarcodes(String barcode, int count) {
        for (int i = 0; i < count; i++) {
            SendBarcode(recorder, barcode);
        }
    }

    public void show() {}

    public String GetDevicesList() {
        return devicesList;
    }

    public boolean OpenDevice(String address) {
        return true;
    }

    public boolean CloseDevice() {
        return true;
    }

    public boolean TestDevice(String address) {
        return true;
    }

    public String GetLastError() {
        return "";
    }

    public native void SendBarcode(long recorder, String barcode);
}
