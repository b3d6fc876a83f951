package com.kestra.console;

import java.io.IOException;

/**
 * A Linux input event device (/dev/input/event*, or a link to one in /dev/input/by-id/), read
 * as raw input events, or a file of such events recorded earlier. Java cannot take a device for
 * itself (EVIOCGRAB), so the natives are kestra-console's own: it registers them when it has
 * started the VM.
 */
public final class InputEvents {
    private InputEvents() {}

    /**
     * The size of one event record for this program: the record starts with a time whose two
     * fields are longs (16 bytes in all for 32-bit programs, 24 for 64-bit ones) and ends with
     * type (16 bits), code (16 bits) and value (32 bits).
     */
    public static native int recordSize();

    /**
     * Opens the device and grabs it, so that its keys reach this program only (not the terminal
     * or the desktop); a regular file or a FIFO is opened as a recording, without a grab. The
     * message of the exception says why it cannot: another program holds the grab, the file is
     * no input event device, the user may not read it.
     */
    public static native int open(String path) throws IOException;

    /**
     * Waits at most timeoutMillis for events; returns the count of bytes read (whole records),
     * 0 when none came, -1 when the device is gone or the recording has ended.
     */
    public static native int read(int descriptor, byte[] buffer, int timeoutMillis) throws IOException;

    public static native void close(int descriptor);
}
