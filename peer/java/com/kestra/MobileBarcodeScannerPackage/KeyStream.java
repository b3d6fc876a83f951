package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;

/**
 * The link to a scanner in keyboard mode, read like any other: key events are queued from
 * whichever thread receives them (the user-interface thread on a phone, which must never wait),
 * decoded on the reader's thread, and read as UTF-8 text in which the end of each barcode is a
 * line end. The shared reader then frames, limits and reports them as it does for serial
 * scanners, and a barcode left unfinished when the keyboard goes away is dropped the same way.
 *
 * The text of a barcode is handed on only once its Enter (or Tab) came, so that one left
 * unfinished for longer than the device's unfinished-ms option is dropped here, with a notice
 * for the last error; when the keyboard goes away, what is unfinished is handed on before the end,
 * and the reader drops it as the fragment of a lost link.
 *
 * While no key comes, idle() is called about every IDLE_MILLIS, for the transport to see whether
 * its keyboard and its capture are still there; read then returns 0, so that the reader takes up
 * a notice idle() gave.
 */
abstract class KeyStream extends SourceStream {
    static final long IDLE_MILLIS = 100;

    private final BlockingQueue<int[]> events = new LinkedBlockingQueue<int[]>();
    private final KeyDecoder decoder;
    private final long waitMillis;
    // The reader's: whole barcodes decoded and not read yet, and the one being typed.
    private final StringBuilder text = new StringBuilder();
    private final StringBuilder unfinished = new StringBuilder();
    private final KeyDecoder.Output output = new KeyDecoder.Output() {
        @Override
        public void character(int codePoint) {
            unfinished.appendCodePoint(codePoint);
            // Past the longest barcode it goes on to the reader, which refuses the line whole.
            if (unfinished.length() > LineFramer.MAX_LINE_BYTES) {
                text.append(unfinished);
                unfinished.setLength(0);
            }
        }

        @Override
        public void end() {
            text.append(unfinished).append('\n');
            unfinished.setLength(0);
        }
    };
    private long lastKeyNanos; // the reader's: when the last key came
    private volatile int unfinishedMillis; // from the device's options
    private byte[] decoded = new byte[0]; // the reader's: decoded bytes not read yet
    private int decodedStart;
    private volatile String goneReason; // set by any thread, read by the reader

    KeyStream(KeyDecoder decoder) {
        this(decoder, IDLE_MILLIS);
    }

    /**
     * waitMillis: how long a read waits for a queued key before it calls idle(); 0 for a stream
     * whose idle() itself waits for keys and queues them.
     */
    KeyStream(KeyDecoder decoder, long waitMillis) {
        this.decoder = decoder;
        this.waitMillis = waitMillis;
    }

    /** One key event, from any thread; never blocks. */
    final void offer(int keyCode, int action, int metaState, int scanCode, int repeatCount) {
        events.add(new int[] {keyCode, action, metaState, scanCode, repeatCount});
    }

    /** The keyboard is gone: the reader decodes what came before, then ends with this reason. */
    final void gone(String reason) {
        if (goneReason == null) {
            goneReason = reason;
        }
    }

    @Override
    void useOptions(ScannerOptions options) {
        unfinishedMillis = options.unfinishedMillis();
    }

    /** Called on the reader's thread while no key comes; may throw when the link is lost. */
    protected void idle() throws IOException {}

    @Override
    final int read(byte[] buffer) throws IOException {
        if (decodedStart == decoded.length) {
            if (stopped()) {
                return 0;
            }
            int[] event;
            try {
                event = events.poll(waitMillis, TimeUnit.MILLISECONDS);
            } catch (InterruptedException e) {
                return 0;
            }
            text.setLength(0);
            if (event == null) {
                String reason = goneReason;
                if (reason != null) {
                    if (unfinished.length() == 0) {
                        throw new IOException(reason);
                    }
                    text.append(unfinished); // the reader drops it when the end comes
                    unfinished.setLength(0);
                } else {
                    dropUnfinishedWhenIdle();
                    idle();
                    return 0;
                }
            }
            for (; event != null; event = events.poll()) {
                decoder.key(event[0], event[1], event[2], event[3], event[4], output);
                lastKeyNanos = System.nanoTime();
            }
            decoded = text.toString().getBytes(StandardCharsets.UTF_8);
            decodedStart = 0;
            if (decoded.length == 0) {
                return 0; // keys that typed nothing yet (Shift, a dead key, a barcode's start)
            }
        }
        int count = Math.min(buffer.length, decoded.length - decodedStart);
        System.arraycopy(decoded, decodedStart, buffer, 0, count);
        decodedStart += count;
        return count;
    }

    private void dropUnfinishedWhenIdle() {
        int limit = unfinishedMillis;
        if (limit > 0 && unfinished.length() > 0 && System.nanoTime() - lastKeyNanos >= limit * 1000000L) {
            notice("a barcode typed without its end key was dropped after " + limit + " ms with no key ("
                    + unfinished.codePointCount(0, unfinished.length()) + " characters)");
            unfinished.setLength(0);
        }
    }
}
