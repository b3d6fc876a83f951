package com.kestra.console;

/**
 * Tells the person at the console at once that a scanner's link was lost, as an event is shown,
 * whether or not the driver's log is shown. The native is kestra-console's own: it registers it
 * when it has started the VM.
 */
public final class LinkWatch {
    private LinkWatch() {}

    /** Prints one line: the time, the device and why its link was lost. */
    public static void lost(String device, String reason) {
        try {
            printLost(device, reason);
        } catch (UnsatisfiedLinkError e) {
            // Outside kestra-console nobody is watching.
        }
    }

    private static native void printLost(String device, String reason);
}
