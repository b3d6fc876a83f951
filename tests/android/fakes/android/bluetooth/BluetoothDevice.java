package android.bluetooth;

import com.kestra.androidtest.FakeBluetooth;
import java.io.IOException;
import java.util.UUID;

/** Fake remote device for the desktop tests; FakeBluetooth makes them. */
public final class BluetoothDevice {
    public static final int BOND_BONDED = 12;

    private final String address;
    private final String name;

    public BluetoothDevice(String address, String name) {
        this.address = address;
        this.name = name;
    }

    public String getName() {
        return name;
    }

    public String getAddress() {
        return address;
    }

    public int getBondState() {
        return FakeBluetooth.bondState(address);
    }

    public BluetoothSocket createRfcommSocketToServiceRecord(UUID uuid) throws IOException {
        return socket("createRfcommSocketToServiceRecord", uuid, true);
    }

    public BluetoothSocket createInsecureRfcommSocketToServiceRecord(UUID uuid) throws IOException {
        return socket("createInsecureRfcommSocketToServiceRecord", uuid, false);
    }

    private BluetoothSocket socket(String call, UUID uuid, boolean secure) throws IOException {
        FakeBluetooth.requirePermission(call);
        if (!uuid.equals(UUID.fromString("00001101-0000-1000-8000-00805F9B34FB"))) {
            throw new IOException("the fake scanner offers the serial-port service only, not " + uuid);
        }
        return new BluetoothSocket(address, secure);
    }
}
