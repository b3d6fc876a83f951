package com.BTBarcodeScannerPackage.BTBarcodeScannerLib;

/** The app class through which Java code writes lines to the driver library's log. */
public final class BTBarcodeScannerClass {
    private BTBarcodeScannerClass() {}

    public static native void NativeTrace(String text);
}
