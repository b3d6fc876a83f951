package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import com.kestra.testsupport.PeerScript;

/**
 * Test stand-in for the app's scanner class: same constructor, methods and native as the real
 * one, but every answer comes from {@link PeerScript}, which also records each call.
 */
public class MobileBarcodeScanner {
    private final Activity activity;
    private final long recorder;
    private int showCount;

    public MobileBarcodeScanner(Activity activity, long recorder) {
        PeerScript.enter(this, "<init>", null);
        this.activity = activity;
        this.recorder = recorder;
        PeerScript.register(this);
        PeerScript.sendScriptedBarcode(this, "<init>");
    }

    /** A peer the script uses only to call the native with a made-up long; never registered. */
    MobileBarcodeScanner() {
        this.activity = null;
        this.recorder = 0;
    }

    public void show() {
        synchronized (this) {
            showCount++;
        }
        PeerScript.enter(this, "show", null);
        PeerScript.sendScriptedBarcode(this, "show");
    }

    public String GetDevicesList() {
        PeerScript.enter(this, "GetDevicesList", null);
        return PeerScript.stringResult("GetDevicesList");
    }

    public boolean OpenDevice(String address) {
        PeerScript.enter(this, "OpenDevice", address);
        return PeerScript.booleanResult("OpenDevice");
    }

    public boolean CloseDevice() {
        PeerScript.enter(this, "CloseDevice", null);
        return PeerScript.booleanResult("CloseDevice");
    }

    public boolean TestDevice(String address) {
        PeerScript.enter(this, "TestDevice", address);
        return PeerScript.booleanResult("TestDevice");
    }

    public String GetLastError() {
        PeerScript.enter(this, "GetLastError", null);
        return PeerScript.stringResult("GetLastError");
    }

    /** Hands one barcode to the library's recorder that this long designates. */
    public native void SendBarcode(long recorder, String barcode);

    // Test-only accessors.

    public long recorder() {
        return recorder;
    }

    public Activity activity() {
        return activity;
    }

    public synchronized int showCount() {
        return showCount;
    }

    /** A peer that is not counted among the instances, for sending made-up longs. */
    public static MobileBarcodeScanner unregistered() {
        return new MobileBarcodeScanner();
    }
}
