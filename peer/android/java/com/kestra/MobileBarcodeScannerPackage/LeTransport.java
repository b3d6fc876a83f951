package com.kestra.MobileBarcodeScannerPackage;

import android.app.Activity;
import android.bluetooth.BluetoothAdapter;
import android.bluetooth.BluetoothDevice;
import android.bluetooth.le.BluetoothLeScanner;
import android.bluetooth.le.ScanCallback;
import android.bluetooth.le.ScanFilter;
import android.bluetooth.le.ScanRecord;
import android.bluetooth.le.ScanResult;
import android.bluetooth.le.ScanSettings;
import android.content.Context;
import android.os.ParcelUuid;
import java.io.IOException;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * Scanners over Bluetooth Low Energy that offer one of the serial services of LeServices,
 * reached over GATT (GattLink). Their addresses are "ble:" and the hardware address.
 *
 * The list holds the bonded LE devices whose known services include one of those, the scanners
 * this app has opened before (kept in its preferences, since many LE scanners are never bonded),
 * and those a short search finds: show starts the search when the permissions allow it (or the
 * first list after they do), and it runs for SEARCH_SECONDS in the background, filtered by those
 * services so that phones, watches and headsets are never offered. The list holds what has been
 * found so far.
 */
final class LeTransport implements Transport {
    static final String PREFIX = "ble:";
    static final int SEARCH_SECONDS = 10;

    static final String PREFERENCES = "com.kestra.MobileBarcodeScanner";
    static final String OPENED_KEY = "bluetoothLeScanners"; // lines of "ADDRESS<tab>NAME"

    private final Activity activity;
    // The scanners the search found, by hardware address, with their names. Guarded by the map.
    private final Map<String, String> seen = new LinkedHashMap<String, String>();
    private boolean searchStarted; // under this object's lock
    private volatile boolean searching; // written by the search's thread, read by the host's

    LeTransport(Activity activity) {
        this.activity = activity;
    }

    /** Starts the search; the permissions were asked for with the serial scanners'. */
    @Override
    public void prepare() {
        search();
    }

    @Override
    public List<ScannerDevice> devices(List<String> problems) {
        List<ScannerDevice> devices = new ArrayList<ScannerDevice>();
        BluetoothAdapter adapter;
        Map<String, String> listed = new LinkedHashMap<String, String>();
        try {
            adapter = BluetoothTransport.usableAdapter(activity);
            for (BluetoothDevice device : BluetoothTransport.bondedDevices(activity)) {
                if (isLowEnergy(device) && offersSerial(device.getUuids())) {
                    listed.put(upper(device.getAddress()), nameOf(device));
                }
            }
        } catch (IOException e) {
            problems.add(e.getMessage());
            return devices;
        } catch (SecurityException e) {
            problems.add(BluetoothTransport.permissionRefused().getMessage());
            return devices;
        }
        Map<String, String> known = opened();
        synchronized (seen) {
            known.putAll(seen);
        }
        for (Map.Entry<String, String> device : known.entrySet()) {
            if (!listed.containsKey(device.getKey())) {
                listed.put(device.getKey(), device.getValue());
            }
        }
        for (Map.Entry<String, String> device : listed.entrySet()) {
            try {
                devices.add(new Scanner(adapter.getRemoteDevice(device.getKey()), device.getKey(), device.getValue()));
            } catch (IllegalArgumentException e) {
                // Not a hardware address (preferences edited by hand): nothing to offer.
            }
        }
        search();
        if (searching) {
            problems.add("still searching for Bluetooth LE scanners: open the settings again in a few seconds to"
                    + " list those found");
        } else if (!BluetoothPermissions.mayScan(activity)) {
            problems.add("Bluetooth LE scanners that are not paired are not searched for: the app may not search"
                    + " (the permission \"" + (BluetoothPermissions.granted(activity, BluetoothPermissions.SCAN)
                    ? "Location" : "Nearby devices") + "\" was refused)");
        }
        return devices;
    }

    @Override
    public ScannerDevice find(String address) throws IOException {
        String hardware = upper(address.substring(Math.min(PREFIX.length(), address.length())));
        if (!hardware.matches("[0-9A-F]{2}(:[0-9A-F]{2}){5}")) {
            throw new IOException("'" + address + "' is no Bluetooth LE address: choose a scanner from the device"
                    + " list");
        }
        BluetoothAdapter adapter = BluetoothTransport.usableAdapter(activity);
        String name = opened().get(hardware);
        synchronized (seen) {
            name = seen.containsKey(hardware) ? seen.get(hardware) : name;
        }
        try {
            BluetoothDevice device = adapter.getRemoteDevice(hardware);
            return new Scanner(device, hardware, name != null ? name : nameOf(device));
        } catch (SecurityException e) {
            throw BluetoothTransport.permissionRefused();
        }
    }

    private static boolean isLowEnergy(BluetoothDevice device) {
        int type = device.getType();
        return type == BluetoothDevice.DEVICE_TYPE_LE || type == BluetoothDevice.DEVICE_TYPE_DUAL;
    }

    private static boolean offersSerial(ParcelUuid[] services) {
        if (services != null) {
            for (ParcelUuid service : services) {
                if (service != null && LeServices.isSerial(service.getUuid())) {
                    return true;
                }
            }
        }
        return false;
    }

    private static String nameOf(BluetoothDevice device) {
        String name = device.getName();
        return name != null && !name.isEmpty() ? name : device.getAddress();
    }

    private static String upper(String address) {
        return address.toUpperCase(Locale.ROOT);
    }

    /** The scanners opened before, from the app's preferences. */
    private Map<String, String> opened() {
        Map<String, String> opened = new LinkedHashMap<String, String>();
        if (activity == null) {
            return opened;
        }
        String stored = activity.getSharedPreferences(PREFERENCES, Context.MODE_PRIVATE).getString(OPENED_KEY, "");
        for (String line : stored.split("\n")) {
            int tab = line.indexOf('\t');
            if (tab > 0) {
                opened.put(line.substring(0, tab), line.substring(tab + 1));
            }
        }
        return opened;
    }

    /** Keeps an opened scanner in the app's preferences, so that it is listed from then on. */
    private void remember(String hardware, String name) {
        if (activity == null) {
            return;
        }
        Map<String, String> opened = opened();
        opened.put(hardware, name.replace('\n', ' ').replace('\t', ' '));
        StringBuilder stored = new StringBuilder();
        for (Map.Entry<String, String> device : opened.entrySet()) {
            stored.append(device.getKey()).append('\t').append(device.getValue()).append('\n');
        }
        activity.getSharedPreferences(PREFERENCES, Context.MODE_PRIVATE).edit().putString(OPENED_KEY,
                stored.toString()).apply();
    }

    /** Starts the search once, when it may run; never waits for it. */
    private void search() {
        if (!BluetoothPermissions.mayScan(activity)) {
            return;
        }
        synchronized (this) {
            if (searchStarted) {
                return;
            }
            searchStarted = true;
        }
        final BluetoothLeScanner scanner;
        final ScanCallback found = new Found();
        try {
            BluetoothAdapter adapter = BluetoothTransport.usableAdapter(activity);
            scanner = adapter.getBluetoothLeScanner();
            if (scanner == null) {
                return;
            }
            List<ScanFilter> filters = new ArrayList<ScanFilter>();
            for (java.util.UUID service : LeServices.SERIAL) {
                filters.add(new ScanFilter.Builder().setServiceUuid(new ParcelUuid(service)).build());
            }
            ScanSettings settings = new ScanSettings.Builder().setScanMode(ScanSettings.SCAN_MODE_LOW_LATENCY).build();
            searching = true;
            scanner.startScan(filters, settings, found);
        } catch (IOException | RuntimeException e) {
            searching = false;
            synchronized (this) {
                searchStarted = false; // tried again at the next list
            }
            return;
        }
        Thread stopper = new Thread(new Runnable() {
            @Override
            public void run() {
                try {
                    Thread.sleep(SEARCH_SECONDS * 1000L);
                } catch (InterruptedException e) {
                    // Stop now.
                } finally {
                    try {
                        scanner.stopScan(found);
                    } catch (Throwable e) {
                        // Bluetooth switched off or the permission withdrawn: the search is over anyway.
                    }
                    searching = false;
                }
            }
        }, "searching for Bluetooth LE scanners");
        stopper.setDaemon(true);
        stopper.start();
    }

    /** Results come on the platform's thread: each is only noted. */
    private final class Found extends ScanCallback {
        @Override
        public void onScanResult(int callbackType, ScanResult result) {
            try {
                ScanRecord record = result.getScanRecord();
                List<ParcelUuid> services = record == null ? null : record.getServiceUuids();
                if (services == null || !offersSerial(services.toArray(new ParcelUuid[0]))) {
                    return; // a phone whose search ignores the filters
                }
                BluetoothDevice device = result.getDevice();
                String name = record.getDeviceName();
                String found = name != null && !name.isEmpty() ? name : nameOf(device);
                synchronized (seen) {
                    seen.put(upper(device.getAddress()), found);
                }
            } catch (RuntimeException e) {
                // A result that cannot be read is no scanner to offer.
            }
        }

        @Override
        public void onBatchScanResults(List<ScanResult> results) {
            for (ScanResult result : results) {
                onScanResult(0, result);
            }
        }

        @Override
        public void onScanFailed(int errorCode) {
            searching = false;
        }
    }

    /** One LE scanner; connecting can be abandoned from another thread. */
    private final class Scanner extends ScannerDevice {
        private final BluetoothDevice device;
        private final String hardware;
        private GattLink connecting; // under this object's lock
        private boolean abandoned; // under this object's lock

        Scanner(BluetoothDevice device, String hardware, String name) {
            super(PREFIX + hardware, name);
            this.device = device;
            this.hardware = hardware;
        }

        @Override
        SourceStream connect() throws IOException {
            BluetoothTransport.usableAdapter(activity);
            GattLink link;
            try {
                link = GattLink.open(device, activity, label(), BluetoothTransport.CONNECT_SECONDS,
                        new GattLink.Started() {
                            @Override
                            public void started(GattLink link) {
                                boolean closeNow;
                                synchronized (Scanner.this) {
                                    connecting = link;
                                    closeNow = abandoned;
                                }
                                if (closeNow) {
                                    link.close();
                                }
                            }
                        });
            } finally {
                synchronized (this) {
                    connecting = null;
                }
            }
            remember(hardware, name);
            return link;
        }

        @Override
        void abandonConnect() {
            GattLink link;
            synchronized (this) {
                abandoned = true;
                link = connecting;
            }
            if (link != null) {
                link.close();
            }
        }
    }
}
