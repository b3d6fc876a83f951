package com.kestra.MobileBarcodeScannerPackage;

import java.nio.ByteBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.Charset;
import java.nio.charset.CharsetDecoder;
import java.nio.charset.StandardCharsets;

/**
 * Cuts a scanner's byte stream into barcodes, the same way for every transport.
 *
 * Under line framing a barcode is a whole line ended by CR, LF or CR LF, also when the CR and the
 * LF arrive in different reads. Under idle-gap framing a line end ends the barcode only when no
 * byte follows within the idle gap (the reader calls gapElapsed then); a line end that is
 * followed sooner stays in the barcode as it was sent, so a multi-line code arrives whole.
 *
 * Only whole barcodes are decoded, so a character is never split between two. A barcode that is
 * valid UTF-8 is decoded as UTF-8; any other with the device's fallback code page (a scanner set
 * to an old code page sends bytes that are seldom valid UTF-8), where only a byte the code page
 * does not map becomes U+FFFD. Empty barcodes are skipped: a scanner never sends an empty scan,
 * and a terminal sends them for a stray Enter. A barcode longer than MAX_LINE_BYTES is refused
 * whole, never cut into several. Bytes after the last line end are a fragment, which only a line
 * end can complete: when the link drops, finish reports it dropped.
 */
final class LineFramer {
    /** The longest barcode taken, in bytes before decoding: 64 KiB. */
    static final int MAX_LINE_BYTES = 64 * 1024;

    interface Sink {
        void line(String barcode);

        /** A line of `bytes` bytes, more than MAX_LINE_BYTES, was refused. */
        void refused(long bytes);
    }

    private final Charset fallback;
    private final CharsetDecoder utf8 = StandardCharsets.UTF_8.newDecoder(); // reports malformed input
    private final boolean idleGap;
    private byte[] line = new byte[256];
    private int length;
    private long overLimitBytes; // > 0 while the current line is being refused
    private boolean afterCr; // line framing: the last byte was a CR
    private int pendingEnd; // idle-gap framing: 0, or the line end waiting for the gap: '\r', '\n' or -1 for CR LF

    LineFramer(Charset fallback, boolean idleGap) {
        this.fallback = fallback;
        this.idleGap = idleGap;
    }

    void feed(byte[] data, int count, Sink sink) {
        for (int i = 0; i < count; i++) {
            byte b = data[i];
            if (idleGap) {
                feedAfterGap(b);
                continue;
            }
            if (b == '\n' && afterCr) {
                afterCr = false;
                continue;
            }
            afterCr = b == '\r';
            if (b == '\r' || b == '\n') {
                endLine(sink);
            } else {
                take(b);
            }
        }
    }

    // A line end waits for the gap; a byte that comes first keeps it in the barcode.
    private void feedAfterGap(byte b) {
        boolean lineEnd = b == '\r' || b == '\n';
        if (pendingEnd == '\r' && b == '\n') {
            pendingEnd = -1;
            return;
        }
        if (pendingEnd != 0) {
            keepPendingEnd();
        }
        if (!lineEnd) {
            take(b);
        } else if (length > 0 || overLimitBytes > 0) {
            pendingEnd = b; // a line end before any byte of a barcode is no part of it
        }
    }

    private void keepPendingEnd() {
        if (pendingEnd == -1) {
            take((byte) '\r');
            take((byte) '\n');
        } else {
            take((byte) pendingEnd);
        }
        pendingEnd = 0;
    }

    /** Idle-gap framing: whether a line end waits for the gap to pass. */
    boolean awaitingGap() {
        return pendingEnd != 0;
    }

    /** Idle-gap framing: no byte followed the line end within the gap; the barcode is whole. */
    void gapElapsed(Sink sink) {
        if (pendingEnd != 0) {
            pendingEnd = 0;
            endLine(sink);
        }
    }

    /**
     * The link has dropped: a barcode whose line end was waiting for the gap is whole and handed
     * on (unless sink is null); returns how many bytes of an unfinished line were dropped (0 when
     * the stream ended on a line end) and starts afresh.
     */
    long finish(Sink sink) {
        if (sink != null) {
            gapElapsed(sink);
        }
        pendingEnd = 0;
        long dropped = overLimitBytes > 0 ? overLimitBytes : length;
        length = 0;
        overLimitBytes = 0;
        afterCr = false;
        return dropped;
    }

    private void take(byte b) {
        if (overLimitBytes > 0) {
            overLimitBytes++;
        } else if (length == MAX_LINE_BYTES) {
            overLimitBytes = length + 1L;
            length = 0;
        } else {
            append(b);
        }
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
            String barcode = decode(line, length);
            length = 0;
            sink.line(barcode);
        }
    }

    private String decode(byte[] bytes, int count) {
        boolean ascii = true;
        for (int i = 0; i < count && ascii; i++) {
            ascii = bytes[i] >= 0;
        }
        if (ascii) {
            return new String(bytes, 0, count, StandardCharsets.US_ASCII);
        }
        try {
            return utf8.reset().decode(ByteBuffer.wrap(bytes, 0, count)).toString();
        } catch (CharacterCodingException e) {
            // The decoder of String replaces every byte the code page does not map with U+FFFD.
            return new String(bytes, 0, count, fallback);
        }
    }
}
