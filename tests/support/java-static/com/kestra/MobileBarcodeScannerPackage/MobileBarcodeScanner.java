package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import com.kestra.testsupport.ScriptedPeer;

/**
 * Test stand-in for the app's scanner class, with the native SendBarcode declared static: the
 * native then receives the class instead of the peer. It takes the place of the instance one on
 * the class path of the programs that test this form.
 */
public class MobileBarcodeScanner extends ScriptedPeer {
    public MobileBarcodeScanner(Activity activity, long recorder) {
        super(activity, recorder);
    }

    private MobileBarcodeScanner() {}

    /** Hands one barcode to the library's recorder that this long designates. */
    public static native void SendBarcode(long recorder, String barcode);

    @Override
    public void deliver(long recorder, String barcode) {
        SendBarcode(recorder, barcode);
    }

    /** A peer that is not counted among the instances, for sending made-up longs. */
    public static MobileBarcodeScanner unregistered() {
        return new MobileBarcodeScanner();
    }
}
