package android.bluetooth;

import com.kestra.androidtest.FakeBluetooth;
import com.kestra.androidtest.FakeLeScanner;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.function.Consumer;

/**
 * Fake GATT client for the desktop tests: each call goes to the fake scanner (FakeLeScanner),
 * and every answer comes back on a thread of its own, as a phone's binder thread, in order.
 * After close no callback is made. Like each level's phone, it takes the write calls of the
 * running level only: the value-passing variants from API 33 on, the older ones below it.
 */
public final class BluetoothGatt implements BluetoothProfile {
    public static final int GATT_SUCCESS = 0;

    private final FakeLeScanner scanner; // null: no LE device has this address
    private final BluetoothGattCallback callback;
    private final ExecutorService binder = Executors.newSingleThreadExecutor(run -> {
        Thread thread = new Thread(() -> FakeBluetooth.runAsBinder(run), "binder");
        thread.setDaemon(true);
        return thread;
    });
    private volatile boolean closed;

    public BluetoothGatt(FakeLeScanner scanner, BluetoothGattCallback callback) {
        this.scanner = scanner;
        this.callback = callback;
    }

    /** Calls the app's callback on the binder thread, unless the client is closed by then. */
    public void post(Consumer<BluetoothGattCallback> call) {
        if (closed) {
            return;
        }
        try {
            binder.execute(() -> {
                if (!closed) {
                    long start = System.nanoTime();
                    call.accept(callback);
                    FakeBluetooth.callbackTook((System.nanoTime() - start) / 1000000L);
                }
            });
        } catch (java.util.concurrent.RejectedExecutionException e) {
            // Closed meanwhile.
        }
    }

    public boolean isClosed() {
        return closed;
    }

    public boolean discoverServices() {
        FakeBluetooth.requirePermission("discoverServices");
        return scanner != null && scanner.discover(this);
    }

    public List<BluetoothGattService> getServices() {
        return scanner == null ? new ArrayList<>() : scanner.services();
    }

    public boolean setCharacteristicNotification(BluetoothGattCharacteristic characteristic, boolean enable) {
        FakeBluetooth.requirePermission("setCharacteristicNotification");
        return scanner != null && scanner.notifyLocally(characteristic, enable);
    }

    public boolean writeDescriptor(BluetoothGattDescriptor descriptor) {
        levelBelow33("writeDescriptor(descriptor)");
        return scanner != null && scanner.writeDescriptor(this, descriptor, descriptor.getValue());
    }

    public int writeDescriptor(BluetoothGattDescriptor descriptor, byte[] value) {
        level33("writeDescriptor(descriptor, value)");
        return scanner != null && scanner.writeDescriptor(this, descriptor, value) ? 0 : 201;
    }

    public boolean writeCharacteristic(BluetoothGattCharacteristic characteristic) {
        levelBelow33("writeCharacteristic(characteristic)");
        return scanner != null
                && scanner.write(this, characteristic, characteristic.getValue(), characteristic.writeType());
    }

    public int writeCharacteristic(BluetoothGattCharacteristic characteristic, byte[] value, int writeType) {
        level33("writeCharacteristic(characteristic, value, writeType)");
        return scanner != null && scanner.write(this, characteristic, value, writeType) ? 0 : 201;
    }

    public boolean requestMtu(int mtu) {
        FakeBluetooth.requirePermission("requestMtu");
        return scanner != null && scanner.requestMtu(this, mtu);
    }

    public void disconnect() {
        if (scanner != null) {
            scanner.disconnect(this);
        }
    }

    public void close() {
        closed = true;
        binder.shutdown();
        if (scanner != null) {
            scanner.closed(this);
        }
    }

    private static void level33(String call) {
        FakeBluetooth.requirePermission(call);
        if (android.os.Build.VERSION.SDK_INT < 33) {
            throw new NoSuchMethodError(call + " exists from API 33 on");
        }
    }

    private static void levelBelow33(String call) {
        FakeBluetooth.requirePermission(call);
        if (android.os.Build.VERSION.SDK_INT >= 33) {
            throw new IllegalStateException("the fake phone of API 33 takes the variant with the value, not " + call);
        }
    }
}
