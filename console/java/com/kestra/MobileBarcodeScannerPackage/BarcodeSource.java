package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.nio.file.Path;

/**
 * Where an emulated scanner's barcodes come from: a file, the console's standard input, or a
 * TCP port on the loopback interface (a stand-in for a serial-port stream).
 */
abstract class BarcodeSource {
    /** Connects to the source. The message of the exception says in words why it cannot. */
    abstract SourceStream connect() throws IOException;

    /** Null when the source can be reached now; otherwise the reason in words. */
    abstract String unreachableReason();

    /** The source as it is written in the device configuration. */
    abstract String describe();

    /**
     * Reads a source written as "file:PATH" (relative to baseDir), "stdin" or "tcp:PORT".
     * Throws IllegalArgumentException with the reason for anything else.
     */
    static BarcodeSource parse(String text, Path baseDir) {
        if (text.equals("stdin")) {
            return new ConsoleInputSource();
        }
        if (text.startsWith("file:") && text.length() > "file:".length()) {
            Path path = Path.of(text.substring("file:".length()));
            return new FileSource(baseDir == null ? path : baseDir.resolve(path));
        }
        if (text.startsWith("tcp:")) {
            int port;
            try {
                port = Integer.parseInt(text.substring("tcp:".length()));
            } catch (NumberFormatException e) {
                port = -1;
            }
            if (port < 1 || port > 65535) {
                throw new IllegalArgumentException("the port of '" + text + "' is not a number from 1 to 65535");
            }
            return new TcpSource(port);
        }
        throw new IllegalArgumentException(
                "unknown barcode source '" + text + "' (use file:PATH, stdin or tcp:PORT)");
    }
}
