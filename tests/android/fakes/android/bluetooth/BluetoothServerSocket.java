package android.bluetooth;

import java.io.Closeable;
import java.io.IOException;
import java.util.ArrayDeque;

/**
 * Fake listening RFCOMM socket for the desktop tests: FakeBluetooth.connectToPhone queues a
 * device's connection, accept takes it. As on a phone, an accept whose time runs out throws, and
 * close ends a waiting accept.
 */
public final class BluetoothServerSocket implements Closeable {
    private final ArrayDeque<BluetoothSocket> waiting = new ArrayDeque<>(); // guarded by this
    private boolean closed; // guarded by this

    public synchronized BluetoothSocket accept(int timeout) throws IOException {
        long deadline = System.nanoTime() + timeout * 1000000L;
        while (waiting.isEmpty() && !closed) {
            long left = (deadline - System.nanoTime()) / 1000000L;
            if (left <= 0) {
                throw new IOException("Try again");
            }
            try {
                wait(left);
            } catch (InterruptedException e) {
                throw new IOException("interrupted");
            }
        }
        if (closed) {
            throw new IOException("socket closed");
        }
        return waiting.remove();
    }

    /** A device connects; false when this socket no longer listens. */
    public synchronized boolean incoming(BluetoothSocket socket) {
        if (closed) {
            return false;
        }
        waiting.add(socket);
        notifyAll();
        return true;
    }

    public synchronized boolean isClosed() {
        return closed;
    }

    @Override
    public synchronized void close() {
        closed = true;
        notifyAll();
    }
}
