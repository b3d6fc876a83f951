package android.bluetooth;

import android.content.Context;
import android.os.ParcelUuid;
import com.kestra.androidtest.FakeBluetooth;
import com.kestra.androidtest.FakeLeScanner;
import java.io.IOException;
import java.util.UUID;

/** Fake remote device for the desktop tests; FakeBluetooth makes them. */
public final class BluetoothDevice {
    public static final int BOND_BONDED = 12;
    public static final int DEVICE_TYPE_UNKNOWN = 0;
    public static final int DEVICE_TYPE_CLASSIC = 1;
    public static final int DEVICE_TYPE_LE = 2;
    public static final int DEVICE_TYPE_DUAL = 3;
    public static final int TRANSPORT_LE = 2;

    private final String address;
    private final String name;
    private final int type;
    private final ParcelUuid[] uuids;

    public BluetoothDevice(String address, String name) {
        this(address, name, DEVICE_TYPE_CLASSIC, null);
    }

    public BluetoothDevice(String address, String name, int type, ParcelUuid[] uuids) {
        this.address = address;
        this.name = name;
        this.type = type;
        this.uuids = uuids;
    }

    public String getName() {
        FakeBluetooth.requirePermission("getName");
        return name;
    }

    public String getAddress() {
        return address;
    }

    public int getBondState() {
        return FakeBluetooth.bondState(address);
    }

    public int getType() {
        FakeBluetooth.requirePermission("getType");
        return type;
    }

    public ParcelUuid[] getUuids() {
        FakeBluetooth.requirePermission("getUuids");
        return uuids == null ? null : uuids.clone();
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

    public BluetoothGatt connectGatt(Context context, boolean autoConnect, BluetoothGattCallback callback) {
        return connect(autoConnect, callback, 0);
    }

    public BluetoothGatt connectGatt(Context context, boolean autoConnect, BluetoothGattCallback callback,
            int transport) {
        if (android.os.Build.VERSION.SDK_INT < 23) {
            throw new NoSuchMethodError("connectGatt with a transport exists from API 23 on");
        }
        return connect(autoConnect, callback, transport);
    }

    private BluetoothGatt connect(boolean autoConnect, BluetoothGattCallback callback, int transport) {
        FakeBluetooth.requirePermission("connectGatt");
        FakeLeScanner scanner = FakeBluetooth.leScanner(address);
        BluetoothGatt gatt = new BluetoothGatt(scanner, callback);
        if (scanner == null) {
            // No LE device answers at this address: the phone gives up with its usual status.
            gatt.post(app -> app.onConnectionStateChange(gatt, 133, BluetoothProfile.STATE_DISCONNECTED));
        } else {
            scanner.connecting(gatt, autoConnect, transport);
        }
        return gatt;
    }
}
