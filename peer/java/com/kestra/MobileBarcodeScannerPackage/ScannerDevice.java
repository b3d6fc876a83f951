package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;

/**
 * One scanner a transport offers: the address the host stores as its setting, the name the user
 * chooses by, the charset of its barcodes, and how to connect to it.
 */
abstract class ScannerDevice {
    final String address;
    final String name;
    final Charset charset;

    ScannerDevice(String address, String name) {
        this(address, name, StandardCharsets.UTF_8);
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

    /** How error texts name the device. */
    String label() {
        return "scanner '" + name + "' (" + address + ")";
    }
}
