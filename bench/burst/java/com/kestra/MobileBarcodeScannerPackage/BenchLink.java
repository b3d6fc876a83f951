package com.kestra.MobileBarcodeScannerPackage;

/**
 * The burst scanner's link: what send writes, the reader reads, in chunks of its buffer's size
 * as from a socket. One link at a time, the one the peer opened last.
 */
final class BenchLink extends SourceStream {
    private static BenchLink current; // guarded by BenchLink.class

    private byte[] bytes = new byte[0]; // guarded by this
    private int start; // guarded by this

    static synchronized BenchLink open() {
        current = new BenchLink();
        return current;
    }

    /** The scanner sends these bytes in one write; false when no link is open. */
    static boolean send(byte[] data) {
        BenchLink link;
        synchronized (BenchLink.class) {
            link = current;
        }
        if (link == null) {
            return false;
        }
        link.write(data);
        return true;
    }

    private synchronized void write(byte[] data) {
        byte[] joined = new byte[bytes.length - start + data.length];
        System.arraycopy(bytes, start, joined, 0, bytes.length - start);
        System.arraycopy(data, 0, joined, bytes.length - start, data.length);
        bytes = joined;
        start = 0;
        notifyAll();
    }

    @Override
    synchronized int read(byte[] buffer) {
        while (start == bytes.length && !stopped()) {
            try {
                wait();
            } catch (InterruptedException e) {
                return 0;
            }
        }
        if (stopped()) {
            return 0;
        }
        int count = Math.min(buffer.length, bytes.length - start);
        System.arraycopy(bytes, start, buffer, 0, count);
        start += count;
        return count;
    }

    @Override
    protected synchronized void wakeRead() {
        notifyAll();
    }

    @Override
    protected void release() {}

    @Override
    String endReason() {
        return "the benchmark closed the link";
    }
}
