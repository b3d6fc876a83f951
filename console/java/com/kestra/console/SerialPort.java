package com.kestra.console;

import java.io.IOException;

/**
 * A serial device (a terminal such as /dev/rfcomm0 or /dev/ttyACM0) read raw at a given speed.
 * Java has no way to set a terminal's mode, so the natives are kestra-console's own: it
 * registers them when it has started the VM.
 */
public final class SerialPort {
    private SerialPort() {}

    /** Whether the speed, in baud, is one a serial port can be set to. */
    public static native boolean supportsSpeed(int baud);

    /**
     * Opens the device, puts it in raw mode (no echo, no line editing, no CR or LF translation)
     * at the speed and returns its descriptor. Blocks as long as the device's open does: a
     * Bluetooth serial port connects to the scanner here. The message of the exception says
     * why it cannot.
     */
    public static native int open(String device, int baud) throws IOException;

    /**
     * Waits at most timeoutMillis for bytes; returns their count, 0 when none came, -1 when
     * the device is gone (unplugged, or its other side hung up).
     */
    public static native int read(int descriptor, byte[] buffer, int timeoutMillis) throws IOException;

    public static native void close(int descriptor);
}
