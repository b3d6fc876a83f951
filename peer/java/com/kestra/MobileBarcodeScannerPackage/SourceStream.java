package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;

/**
 * The open link to one scanner, whatever its transport (a Bluetooth socket, a serial device, a
 * file or a TCP client). It keeps what every link shares: the flag that stop sets, and a close
 * that releases the link once.
 */
abstract class SourceStream {
    private volatile boolean stopped;
    private volatile String notice; // set by any thread, taken by the reader
    private boolean closed;

    /**
     * Blocks until bytes arrive and returns their count; -1 when the source ended (then
     * endReason says why). Throws when the connection is lost. Returns 0 once stop was called.
     */
    abstract int read(byte[] buffer) throws IOException;

    /** Why the source ended, in words. */
    abstract String endReason();

    /** Releases the connection; called once, by close. */
    protected abstract void release();

    /** Wakes a read that the flag alone would not end; called by stop. */
    protected void wakeRead() {}

    /** Makes a blocked read return; called from another thread. */
    final void stop() {
        stopped = true;
        wakeRead();
    }

    final boolean stopped() {
        return stopped;
    }

    /**
     * Something the user should know that does not end the link (a capture taken up again, say):
     * the reader puts it into the last error after its next read.
     */
    protected final void notice(String text) {
        notice = text;
    }

    /** The notice given since the last call, or null. */
    final String takeNotice() {
        String text = notice;
        notice = null;
        return text;
    }

    /** The options of the device this link belongs to, given before the first read. */
    void useOptions(ScannerOptions options) {}

    /** Releases the connection, however often and from whichever thread it is called. */
    final synchronized void close() {
        if (!closed) {
            closed = true;
            release();
        }
    }
}
