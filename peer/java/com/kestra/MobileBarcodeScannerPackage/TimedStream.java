package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.util.ArrayDeque;

/**
 * A link whose reads can wait with a time limit, for idle-gap framing: a link's own read blocks
 * until bytes come, so a thread of its own reads the link into a short queue and readWithin
 * waits on the queue. The reading thread ends when the link ends, fails or is stopped.
 */
final class TimedStream extends SourceStream {
    private static final int MOST_CHUNKS = 64; // the reading thread waits while this many are queued

    private final SourceStream link;
    private final ArrayDeque<byte[]> chunks = new ArrayDeque<byte[]>(); // guarded by this
    private int offset; // into the first chunk; guarded by this
    private boolean ended; // the link ended or failed; guarded by this
    private IOException failure; // why it failed; guarded by this

    TimedStream(SourceStream link, String name) {
        this.link = link;
        Thread pump = new Thread(new Runnable() {
            @Override
            public void run() {
                pump();
            }
        }, name);
        pump.setDaemon(true);
        pump.start();
    }

    private void pump() {
        byte[] buffer = new byte[8192];
        IOException why = null;
        try {
            for (int count = 0; count >= 0 && !stopped();) {
                count = link.read(buffer);
                if (count > 0) {
                    byte[] chunk = new byte[count];
                    System.arraycopy(buffer, 0, chunk, 0, count);
                    queue(chunk);
                }
            }
        } catch (IOException e) {
            why = e;
        } catch (Throwable e) {
            why = new IOException("reading the link failed: " + e);
        }
        synchronized (this) {
            ended = true;
            failure = why;
            notifyAll();
        }
    }

    private synchronized void queue(byte[] chunk) {
        while (chunks.size() >= MOST_CHUNKS && !stopped()) {
            try {
                wait();
            } catch (InterruptedException e) {
                return;
            }
        }
        chunks.add(chunk);
        notifyAll();
    }

    @Override
    int read(byte[] buffer) throws IOException {
        return readWithin(buffer, 0);
    }

    /**
     * As read, but returns 0 when no byte came within timeoutMillis (0: waits as long as it takes).
     */
    synchronized int readWithin(byte[] buffer, long timeoutMillis) throws IOException {
        long deadline = System.nanoTime() + timeoutMillis * 1000000L;
        while (chunks.isEmpty() && !ended && !stopped()) {
            long left = timeoutMillis == 0 ? 0 : (deadline - System.nanoTime()) / 1000000L;
            if (timeoutMillis != 0 && left <= 0) {
                return 0;
            }
            try {
                wait(timeoutMillis == 0 ? 0 : left);
            } catch (InterruptedException e) {
                return 0;
            }
        }
        if (stopped()) {
            return 0;
        }
        if (chunks.isEmpty()) {
            if (failure != null) {
                throw failure;
            }
            return -1;
        }
        byte[] chunk = chunks.peek();
        int count = Math.min(buffer.length, chunk.length - offset);
        System.arraycopy(chunk, offset, buffer, 0, count);
        offset += count;
        if (offset == chunk.length) {
            chunks.remove();
            offset = 0;
            notifyAll();
        }
        return count;
    }

    @Override
    String endReason() {
        return link.endReason();
    }

    @Override
    protected void wakeRead() {
        link.stop();
        synchronized (this) {
            notifyAll();
        }
    }

    @Override
    protected void release() {
        link.close();
    }
}
