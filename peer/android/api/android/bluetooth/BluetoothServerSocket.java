package android.bluetooth;

import java.io.Closeable;
import java.io.IOException;

/** Declaration for compiling the peer only; see android.app.Activity. */
public final class BluetoothServerSocket implements Closeable {
    private BluetoothServerSocket() {}

    public BluetoothSocket accept(int timeout) throws IOException {
        throw new UnsupportedOperationException("declaration only");
    }

    @Override
    public void close() throws IOException {
        throw new UnsupportedOperationException("declaration only");
    }
}
