package com.kestra.androidtest;

import java.io.IOException;
import java.io.InputStream;

/**
 * The fake link's input: bytes the test writes as the scanner, read by the peer. A read blocks
 * until bytes come, the scanner hangs up (the read throws, as a phone's socket does when the
 * link is lost) or the socket is closed here.
 */
public final class Pipe extends InputStream {
    private byte[] bytes = new byte[0]; // guarded by this
    private int start; // guarded by this
    private boolean hungUp; // guarded by this
    private boolean closed; // guarded by this
    private RuntimeException failure; // guarded by this: thrown by the next read

    /** The next read throws this, as a broken driver below the socket might. */
    synchronized void failWith(RuntimeException failure) {
        this.failure = failure;
        notifyAll();
    }

    synchronized void write(byte[] data) {
        byte[] joined = new byte[bytes.length - start + data.length];
        System.arraycopy(bytes, start, joined, 0, bytes.length - start);
        System.arraycopy(data, 0, joined, bytes.length - start, data.length);
        bytes = joined;
        start = 0;
        notifyAll();
    }

    synchronized void hangUp() {
        hungUp = true;
        notifyAll();
    }

    synchronized boolean isClosed() {
        return closed;
    }

    @Override
    public synchronized int read() throws IOException {
        byte[] one = new byte[1];
        return read(one, 0, 1) < 0 ? -1 : one[0] & 0xFF;
    }

    @Override
    public synchronized int read(byte[] buffer, int offset, int length) throws IOException {
        while (start == bytes.length && !hungUp && !closed && failure == null) {
            try {
                wait();
            } catch (InterruptedException e) {
                throw new IOException("interrupted");
            }
        }
        if (closed) {
            throw new IOException("socket closed");
        }
        if (failure != null) {
            throw failure;
        }
        if (start == bytes.length) {
            throw new IOException("bt socket closed, read return: -1");
        }
        int count = Math.min(length, bytes.length - start);
        System.arraycopy(bytes, start, buffer, offset, count);
        start += count;
        return count;
    }

    @Override
    public synchronized void close() {
        closed = true;
        notifyAll();
    }
}
