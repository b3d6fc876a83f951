package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.io.InputStream;
import java.util.Arrays;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * Barcodes typed on the console's standard input (System.in). One daemon thread reads the
 * input for the whole process, because a blocked read of System.in cannot be interrupted; a
 * device reads from its queue only while it is open.
 */
final class ConsoleInputSource extends BarcodeSource {
    private static final byte[] END = new byte[0];
    private static final BlockingQueue<byte[]> chunks = new LinkedBlockingQueue<>();
    private static Thread pump;
    private static volatile boolean ended;
    private static final AtomicInteger openStreams = new AtomicInteger();

    /**
     * Whether an open device reads the console's input now. kestra-console asks before its
     * scan command types a barcode, which would otherwise wait for the next open.
     */
    static boolean isRead() {
        return openStreams.get() > 0;
    }

    private static synchronized void startPump() {
        if (pump != null) {
            return;
        }
        pump = new Thread(ConsoleInputSource::pumpInput, "emulated-scanner-console-input");
        pump.setDaemon(true);
        pump.start();
    }

    private static void pumpInput() {
        InputStream in = System.in;
        byte[] buffer = new byte[4096];
        try {
            int count;
            while ((count = in.read(buffer)) >= 0) {
                if (count > 0) {
                    chunks.add(Arrays.copyOf(buffer, count));
                }
            }
        } catch (IOException e) {
            // The input is gone either way.
        }
        chunks.add(END);
    }

    @Override
    String describe() {
        return "stdin";
    }

    @Override
    SourceStream connect() throws IOException {
        if (ended) {
            throw new IOException("the console's standard input has ended");
        }
        startPump();
        openStreams.incrementAndGet();
        return new Stream();
    }

    private static final class Stream extends SourceStream {
        @Override
        int read(byte[] buffer) {
            while (!stopped()) {
                byte[] chunk;
                try {
                    chunk = chunks.poll(50, TimeUnit.MILLISECONDS);
                } catch (InterruptedException e) {
                    return 0;
                }
                if (chunk == END) {
                    ended = true;
                    chunks.add(END);  // every later reader sees the end as well
                    return -1;
                }
                if (chunk != null) {
                    // Chunks are at most as long as the reader's buffer, which is at least as
                    // long as the pump's.
                    int count = Math.min(chunk.length, buffer.length);
                    System.arraycopy(chunk, 0, buffer, 0, count);
                    return count;
                }
            }
            return 0;
        }

        @Override
        protected void release() {
            openStreams.decrementAndGet();
        }

        @Override
        String endReason() {
            return "the console's standard input has ended";
        }
    }
}
