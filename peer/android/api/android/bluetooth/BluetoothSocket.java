package android.bluetooth;

import java.io.Closeable;
import java.io.IOException;
import java.io.InputStream;

/** Declaration for compiling the peer only; see android.app.Activity. */
public final class BluetoothSocket implements Closeable {
    private BluetoothSocket() {}

    public void connect() throws IOException {
        throw new UnsupportedOperationException("declaration only");
    }

    public BluetoothDevice getRemoteDevice() {
        throw new UnsupportedOperationException("declaration only");
    }

    public InputStream getInputStream() throws IOException {
        throw new UnsupportedOperationException("declaration only");
    }

    @Override
    public void close() throws IOException {
        throw new UnsupportedOperationException("declaration only");
    }
}
