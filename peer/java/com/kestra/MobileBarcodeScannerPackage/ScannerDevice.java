package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.nio.charset.Charset;

/**
 * One scanner a transport offers: the address the host stores as its setting, the name the user
 * chooses by, the code page of its barcodes when the transport knows it, and how to connect to it.
 */
abstract class ScannerDevice {
    final String address;
    final String name;
    /** How lines that are not valid UTF-8 are decoded unless the app chooses; null: by the phone's language. */
    final Charset charset;

    ScannerDevice(String address, String name) {
        this(address, name, null);
    }

    /** The charset must encode CR and LF as the single bytes 13 and 10, as ASCII does. */
    ScannerDevice(String address, String name, Charset charset) {
        this.address = address;
        this.name = name;
        this.charset = charset;
    }

    /**
     * Connects and returns the open link. Blocks no longer than connecting takes, within a
     * deadline of its own (OpenDeadline); the message of the exception says in words why it
     * cannot.
     */
    abstract SourceStream connect() throws IOException;

    /**
     * Ends a connect of this device that another thread is waiting in, at once, so that closing
     * the device never waits for a connect to give up; that connect then fails. Called from any
     * thread. Transports whose connect ends within its deadline anyway need not do anything.
     */
    void abandonConnect() {}

    /**
     * The scanner's own connection to the phone, for scanners that connect by themselves when they
     * wake. The peer listens only while the link of an open device is down.
     */
    interface Incoming {
        /**
         * Waits at most millis for this scanner (and no other) to connect; returns its link, or
         * null when none came in time or close was called. Throws when listening failed.
         */
        SourceStream accept(int millis) throws IOException;

        /** Stops listening; ends a waiting accept. Any thread, any number of times. */
        void close();
    }

    /** Starts listening for this scanner's own connection; null when the transport cannot. */
    Incoming listen() throws IOException {
        return null;
    }

    /** The options the transport's own configuration gives this device (ScannerOptions); null for none. */
    ScannerOptions options() {
        return null;
    }

    /**
     * Something the person at the scanner should hear of at once, beyond the last error: "lost"
     * (the link dropped), "reconnected", "refused" (a line over the limit) or "cut" (a barcode
     * the host receives only up to a NUL). Called on the reader's thread. The app has nobody to
     * tell and does nothing here; the desk console prints a line.
     */
    void tell(String what, String text) {}

    /** How error texts name the device. */
    String label() {
        return "scanner '" + name + "' (" + address + ")";
    }
}
