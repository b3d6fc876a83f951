package com.kestra.console;

/**
 * Tells the person at the console at once what happens to a scanner beyond its barcodes (its link
 * lost or back, a line refused, a barcode the host receives cut short), as an event is shown,
 * whether or not the driver's log is shown. The native is kestra-console's own: it registers it
 * when it has started the VM.
 */
public final class ScannerWatch {
    private ScannerWatch() {}

    /** Prints one line: the time, what happened, the device and the details. */
    public static void tell(String what, String device, String text) {
        try {
            print(what, device, text);
        } catch (UnsatisfiedLinkError e) {
            // Outside kestra-console nobody is watching.
        }
    }

    private static native void print(String what, String device, String text);
}
