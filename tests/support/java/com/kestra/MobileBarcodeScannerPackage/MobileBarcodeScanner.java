package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import com.kestra.testsupport.ScriptedPeer;

/**
 * Test stand-in for the app's scanner class, with the native SendBarcode declared on the
 * instance. Everything else is {@link ScriptedPeer}'s.
 */
public class MobileBarcodeScanner extends ScriptedPeer {
    public MobileBarcodeScanner(Activity activity, long recorder) {
        super(activity, recorder);
    }

    private MobileBarcodeScanner() {}

    /** Hands one barcode to the library's recorder that this long designates. */
    public native void SendBarcode(long recorder, String barcode);

    @Override
    public void deliver(long recorder, String barcode) {
        SendBarcode(recorder, barcode);
    }

    /** A peer that is not counted among the instances, for sending made-up longs. */
    public static MobileBarcodeScanner unregistered() {
        return new MobileBarcodeScanner();
    }
}
