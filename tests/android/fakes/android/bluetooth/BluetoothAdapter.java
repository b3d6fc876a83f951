package android.bluetooth;

import android.bluetooth.le.BluetoothLeScanner;
import com.kestra.androidtest.FakeBluetooth;
import java.io.IOException;
import java.util.LinkedHashSet;
import java.util.Set;
import java.util.UUID;

/** Fake adapter for the desktop tests: its state is FakeBluetooth's. */
public final class BluetoothAdapter {
    public static synchronized BluetoothAdapter getDefaultAdapter() {
        return FakeBluetooth.hasAdapter() ? new BluetoothAdapter() : null;
    }

    public boolean isEnabled() {
        return FakeBluetooth.adapterEnabled();
    }

    public Set<BluetoothDevice> getBondedDevices() {
        FakeBluetooth.requirePermission("getBondedDevices");
        // As on a phone, an adapter that is off lists nothing.
        return isEnabled() ? FakeBluetooth.bonded() : new LinkedHashSet<BluetoothDevice>();
    }

    public BluetoothServerSocket listenUsingRfcommWithServiceRecord(String name, UUID uuid) throws IOException {
        FakeBluetooth.requirePermission("listenUsingRfcommWithServiceRecord");
        if (!isEnabled()) {
            throw new IOException("Bluetooth is off");
        }
        return FakeBluetooth.listening(name, uuid);
    }

    public boolean cancelDiscovery() {
        FakeBluetooth.discoveryCancelled();
        return true;
    }

    public BluetoothDevice getRemoteDevice(String address) {
        return FakeBluetooth.device(address);
    }

    public BluetoothLeScanner getBluetoothLeScanner() {
        return isEnabled() ? new BluetoothLeScanner() : null;
    }
}
