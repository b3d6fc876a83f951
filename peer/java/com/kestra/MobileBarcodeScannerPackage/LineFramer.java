package com.kestra.MobileBarcodeScannerPackage;

import java.nio.charset.Charset;

/**
 * Cuts a scanner's byte stream into barcodes, the same way for every transport.
 *
 * A barcode is a whole line ended by CR, LF or CR LF, also when the CR and the LF arrive in
 * different reads. Only whole lines are decoded, so a character is never split between two
 * barcodes; bytes that are not valid in the device's charset become U+FFFD. Empty lines are
 * skipped: a scanner never sends an empty scan, and a terminal sends them for a stray Enter.
 * A line longer than MAX_LINE_BYTES is refused whole, never cut into several barcodes. Bytes
 * after the last line end are a fragment, which only a line end can complete: when the link
 * drops, finish reports it dropped.
 */
final class LineFramer {
    /** The longest barcode taken, in bytes before decoding: 64 KiB. */
    static final int MAX_LINE_BYTES = 64 * 1024;

    interface Sink {
        void line(String barcode);

        /** A line of `bytes` bytes, more than MAX_LINE_BYTES, was refused. */
        void refused(long bytes);
    }

    private final Charset charset;
    private byte[] line = new byte[256];
    private int length;
    private long overLimitBytes; // > 0 while the current line is being refused
    private boolean afterCr;

    LineFramer(Charset charset) {
        this.charset = charset;
    }

    void feed(byte[] data, int count, Sink sink) {
        for (int i = 0; i < count; i++) {
            byte b = data[i];
            if (b == '\n' && afterCr) {
                afterCr = false;
                continue;
            }
            afterCr = b == '\r';
            if (b == '\r' || b == '\n') {
                endLine(sink);
            } else if (overLimitBytes > 0) {
                overLimitBytes++;
            } else if (length == MAX_LINE_BYTES) {
                overLimitBytes = length + 1L;
                length = 0;
            } else {
                append(b);
            }
        }
    }

    /**
     * The link has dropped: returns how many bytes of an unfinished line were dropped (0 when
     * the stream ended on a line end) and starts afresh.
     */
    long finish() {
        long dropped = overLimitBytes > 0 ? overLimitBytes : length;
        length = 0;
        overLimitBytes = 0;
        afterCr = false;
        return dropped;
    }

    private void append(byte b) {
        if (length == line.length) {
            byte[] larger = new byte[Math.min(line.length * 2, MAX_LINE_BYTES)];
            System.arraycopy(line, 0, larger, 0, length);
            line = larger;
        }
        line[length++] = b;
    }

    private void endLine(Sink sink) {
        if (overLimitBytes > 0) {
            long refused = overLimitBytes;
            overLimitBytes = 0;
            sink.refused(refused);
        } else if (length > 0) {
            // The decoder of String replaces every malformed or unmappable sequence with U+FFFD.
            String barcode = new String(line, 0, length, charset);
            length = 0;
            sink.line(barcode);
        }
    }
}
