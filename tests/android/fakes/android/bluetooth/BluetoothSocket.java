package android.bluetooth;

import com.kestra.androidtest.FakeBluetooth;
import com.kestra.androidtest.Pipe;
import java.io.Closeable;
import java.io.IOException;
import java.io.InputStream;

/**
 * Fake RFCOMM socket for the desktop tests: connect asks FakeBluetooth how the scanner answers a
 * secure or an insecure connect (at once, never, or not at all because it is out of range); the input is a pipe the test
 * writes the scanner's bytes into. Closing it ends a blocked connect or read, as on a phone.
 */
public final class BluetoothSocket implements Closeable {
    private final String address;
    private final boolean secure;
    private Pipe pipe; // guarded by this
    private boolean closed; // guarded by this

    BluetoothSocket(String address, boolean secure) {
        this.address = address;
        this.secure = secure;
    }

    /** A device's own connection to the phone, connected already. */
    public BluetoothSocket(String address, Pipe connected) {
        this.address = address;
        this.secure = true;
        this.pipe = connected;
    }

    public BluetoothDevice getRemoteDevice() {
        return new BluetoothDevice(address, address);
    }

    public void connect() throws IOException {
        FakeBluetooth.Answer answer = FakeBluetooth.connecting(address, secure);
        synchronized (this) {
            if (answer == FakeBluetooth.Answer.NEVER) {
                while (!closed) {
                    try {
                        wait();
                    } catch (InterruptedException e) {
                        throw new IOException("interrupted");
                    }
                }
            }
            if (closed) {
                throw new IOException("socket closed");
            }
            if (answer == FakeBluetooth.Answer.OUT_OF_RANGE) {
                throw new IOException("read failed, socket might closed or timeout, read ret: -1");
            }
            pipe = FakeBluetooth.connected(address);
        }
    }

    public synchronized InputStream getInputStream() throws IOException {
        if (pipe == null) {
            throw new IOException("not connected");
        }
        return pipe;
    }

    @Override
    public void close() {
        Pipe connected;
        synchronized (this) {
            closed = true;
            connected = pipe;
            notifyAll();
        }
        if (connected != null) {
            connected.close();
        }
    }
}
