package android.bluetooth;

import java.util.ArrayList;
import java.util.List;
import java.util.UUID;

/** Fake for the desktop tests: a service of a fake LE scanner. */
public class BluetoothGattService {
    private final UUID uuid;
    private final List<BluetoothGattCharacteristic> characteristics = new ArrayList<>();

    public BluetoothGattService(UUID uuid) {
        this.uuid = uuid;
    }

    public UUID getUuid() {
        return uuid;
    }

    public List<BluetoothGattCharacteristic> getCharacteristics() {
        return new ArrayList<>(characteristics);
    }

    public void add(BluetoothGattCharacteristic characteristic) {
        characteristics.add(characteristic);
    }
}
