package com.kestra.androidtest;

import android.bluetooth.BluetoothDevice;
import android.bluetooth.BluetoothServerSocket;
import android.bluetooth.BluetoothSocket;
import android.bluetooth.le.ScanCallback;
import android.bluetooth.le.ScanFilter;
import android.bluetooth.le.ScanRecord;
import android.bluetooth.le.ScanResult;
import android.os.ParcelUuid;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.UUID;

/**
 * The phone's Bluetooth as the desktop tests of the peer see it: the adapter, the bonded
 * scanners, the permission, and each scanner's link. The test program sets it up and plays the
 * scanners through these static methods; the fake android.* classes read it.
 */
public final class FakeBluetooth {
    /** How a scanner answers a connect; INSECURE_ONLY refuses a secure one at once. */
    public enum Answer { AT_ONCE, NEVER, OUT_OF_RANGE, INSECURE_ONLY }

    private static final Map<String, BluetoothDevice> bonded = new LinkedHashMap<>();
    private static final Map<String, Answer> answers = new LinkedHashMap<>();
    private static final Map<String, Pipe> links = new LinkedHashMap<>();
    private static final List<String> requests = new ArrayList<>();
    private static final Map<String, FakeLeScanner> leScanners = new LinkedHashMap<>();
    private static final Set<String> advertising = new LinkedHashSet<>();
    private static final ThreadLocal<Boolean> binder = ThreadLocal.withInitial(() -> false);
    private static ScanCallback scan;
    private static int scanResults;
    private static int scansStopped;
    private static int scansStarted;
    private static long slowestCallback;
    private static boolean location = true;
    private static final Map<String, Map<String, String>> preferences = new LinkedHashMap<>();
    private static boolean adapter = true;
    private static boolean enabled = true;
    private static boolean permission = true;
    private static boolean grantOnRequest;
    private static boolean bondedUnavailable;
    private static int connects;
    private static BluetoothServerSocket server; // the peer's listening socket, while it listens
    private static final List<String> connectKinds = new ArrayList<>();
    private static int discoveryCancels;

    private FakeBluetooth() {}

    // What the test program calls.

    public static synchronized void reset() {
        bonded.clear();
        answers.clear();
        for (Pipe pipe : links.values()) {
            pipe.hangUp();
        }
        links.clear();
        for (FakeLeScanner scanner : leScanners.values()) {
            scanner.drop(8);
        }
        leScanners.clear();
        advertising.clear();
        scan = null;
        scanResults = 0;
        scansStopped = 0;
        scansStarted = 0;
        slowestCallback = 0;
        location = true;
        preferences.clear();
        requests.clear();
        adapter = true;
        enabled = true;
        permission = true;
        grantOnRequest = false;
        bondedUnavailable = false;
        connects = 0;
        if (server != null) {
            server.close();
        }
        server = null;
        connectKinds.clear();
        discoveryCancels = 0;
        android.os.Build.VERSION.SDK_INT = 31;
    }

    public static synchronized void bond(String address, String name) {
        bonded.put(address, new BluetoothDevice(address, name));
        answers.put(address, Answer.AT_ONCE);
    }

    public static synchronized void answer(String address, String answer) {
        answers.put(address, Answer.valueOf(answer));
    }

    public static synchronized void setAdapter(boolean present, boolean on) {
        adapter = present;
        enabled = on;
    }

    /** The permission now, and whether the user grants it when the peer asks. */
    public static synchronized void setPermission(boolean granted, boolean grantWhenAsked) {
        permission = granted;
        grantOnRequest = grantWhenAsked;
    }

    public static synchronized void setSdk(int level) {
        android.os.Build.VERSION.SDK_INT = level;
    }

    /** The permissions the peer asked for so far, one text per request. */
    public static synchronized String[] permissionRequests() {
        return requests.toArray(new String[0]);
    }

    public static synchronized int connectCount() {
        return connects;
    }

    /** The connects so far, "secure" or "insecure" each, joined by blanks. */
    public static synchronized String connectKinds() {
        return String.join(" ", connectKinds);
    }

    public static synchronized int discoveryCancelCount() {
        return discoveryCancels;
    }

    /** Whether the scanner has a link now that the peer has not closed. */
    public static synchronized boolean linked(String address) {
        Pipe pipe = links.get(address);
        return pipe != null && !pipe.isClosed();
    }

    /** The scanner sends bytes (false when it has no link). */
    public static boolean send(String address, byte[] bytes) {
        Pipe pipe;
        synchronized (FakeBluetooth.class) {
            pipe = links.get(address);
        }
        if (pipe == null) {
            return false;
        }
        pipe.write(bytes);
        return true;
    }

    public static boolean sendText(String address, String text) {
        return send(address, text.getBytes(StandardCharsets.UTF_8));
    }

    /** The next read of the scanner's link throws an unexpected exception (not an IOException). */
    public static synchronized void failReads(String address) {
        Pipe pipe = links.get(address);
        if (pipe != null) {
            pipe.failWith(new IllegalStateException("scripted failure of the link"));
        }
    }

    /** Whether the adapter lists its bonded devices as null, as while Bluetooth switches on or off. */
    public static synchronized void setBondedUnavailable(boolean unavailable) {
        bondedUnavailable = unavailable;
    }

    /** Interrupts the calling thread (the host's, when the test program calls it). */
    public static void interruptCaller() {
        Thread.currentThread().interrupt();
    }

    /** Whether the calling thread is interrupted; the flag stays as it is. */
    public static boolean callerInterrupted() {
        return Thread.currentThread().isInterrupted();
    }

    /** The scanner is switched off or goes out of range: its link drops. */
    public static synchronized void dropLink(String address) {
        Pipe pipe = links.remove(address);
        if (pipe != null) {
            pipe.hangUp();
        }
    }

    /**
     * A scanner over Bluetooth LE of a profile of FakeLeScanner, bonded or not, advertising its
     * service or not, agreeing to an MTU of at most largestMtu.
     */
    public static synchronized void leScanner(String address, String name, String profile, boolean bond,
            boolean advertises, int largestMtu) {
        FakeLeScanner scanner = new FakeLeScanner(address, name, profile, bond, largestMtu);
        leScanners.put(address, scanner);
        if (bond) {
            bonded.put(address, scanner.device);
        }
        if (advertises) {
            advertising.add(address);
        }
    }

    public static void leAnswer(String address, String answer) {
        leScanner(address).answer(FakeLeScanner.Answer.valueOf(answer));
    }

    /** The LE scanner sends bytes in notifications of `chunk` bytes (0: as the MTU allows). */
    public static boolean leSend(String address, byte[] bytes, int chunk) {
        FakeLeScanner scanner = leScanner(address);
        return scanner != null && scanner.send(bytes, chunk);
    }

    public static void leRefuseGrants(String address, int count) {
        leScanner(address).refuseGrants(count);
    }

    public static void leStore(String address, byte[] bytes) {
        leScanner(address).store(bytes);
    }

    public static void leDrop(String address, int status) {
        leScanner(address).drop(status);
    }

    public static int leStat(String address, String what) {
        return leScanner(address).stat(what);
    }

    public static synchronized int scanResultCount() {
        return scanResults;
    }

    public static synchronized boolean scanning() {
        return scan != null;
    }

    public static synchronized int scansStarted() {
        return scansStarted;
    }

    public static synchronized int scansStopped() {
        return scansStopped;
    }

    public static synchronized int slowestCallbackMillis() {
        return (int) Math.min(Integer.MAX_VALUE, slowestCallback);
    }

    /** Whether the calling thread is one of the fake phone's binder threads. */
    public static boolean onBinderThread() {
        return binder.get();
    }

    public static synchronized void setLocation(boolean granted) {
        location = granted;
    }

    /**
     * The scanner connects to the phone by itself, as some do when they wake: true when the phone
     * listened and took the connection (the peer may still refuse it).
     */
    public static boolean connectToPhone(String address) {
        BluetoothServerSocket listening;
        Pipe pipe;
        synchronized (FakeBluetooth.class) {
            listening = server;
            if (listening == null || listening.isClosed()) {
                return false;
            }
            pipe = connected(address);
        }
        if (!listening.incoming(new BluetoothSocket(address, pipe))) {
            pipe.hangUp();
            return false;
        }
        return true;
    }

    /** Whether the phone listens for a scanner's own connection now. */
    public static synchronized boolean listeningForScanners() {
        return server != null && !server.isClosed();
    }

    // What the fake android.* classes call.

    public static synchronized FakeLeScanner leScanner(String address) {
        return leScanners.get(address);
    }

    /** The app's stored settings of that name: a map kept here, written at apply. */
    public static synchronized android.content.SharedPreferences preferences(String name) {
        Map<String, String> stored = preferences.computeIfAbsent(name, key -> new LinkedHashMap<>());
        return new android.content.SharedPreferences() {
            @Override
            public String getString(String key, String defValue) {
                synchronized (FakeBluetooth.class) {
                    return stored.getOrDefault(key, defValue);
                }
            }

            @Override
            public Editor edit() {
                Map<String, String> changes = new LinkedHashMap<>();
                return new Editor() {
                    @Override
                    public Editor putString(String key, String value) {
                        changes.put(key, value);
                        return this;
                    }

                    @Override
                    public void apply() {
                        synchronized (FakeBluetooth.class) {
                            stored.putAll(changes);
                        }
                    }
                };
            }
        };
    }

    public static void runAsBinder(Runnable run) {
        binder.set(true);
        run.run();
    }

    public static synchronized void callbackTook(long millis) {
        slowestCallback = Math.max(slowestCallback, millis);
    }

    /** Finds the advertising scanners the filters let through, on a thread of the phone's. */
    public static void startScan(List<ScanFilter> filters, ScanCallback callback) {
        List<ScanResult> found = new ArrayList<>();
        synchronized (FakeBluetooth.class) {
            if (android.os.Build.VERSION.SDK_INT >= 31 ? !permission : !location) {
                throw new SecurityException("Need the permission to search for devices");
            }
            scan = callback;
            scansStarted++;
            for (String address : advertising) {
                FakeLeScanner scanner = leScanners.get(address);
                for (ScanFilter filter : filters) {
                    if (filter.getServiceUuid() != null && filter.getServiceUuid().getUuid().equals(scanner.advertised)) {
                        found.add(new ScanResult(scanner.device, new ScanRecord(
                                Collections.singletonList(new ParcelUuid(scanner.advertised)), scanner.name)));
                        break;
                    }
                }
            }
        }
        Thread phone = new Thread(() -> runAsBinder(() -> {
            for (ScanResult result : found) {
                callback.onScanResult(1, result);
                synchronized (FakeBluetooth.class) {
                    scanResults++;
                }
            }
        }), "binder");
        phone.setDaemon(true);
        phone.start();
    }

    public static synchronized void stopScan(ScanCallback callback) {
        if (scan == callback) {
            scan = null;
            scansStopped++;
        }
    }

    public static synchronized BluetoothServerSocket listening(String name, UUID uuid) throws IOException {
        if (!uuid.equals(UUID.fromString("00001101-0000-1000-8000-00805F9B34FB"))) {
            throw new IOException("the fake phone listens for the serial-port service only, not " + uuid);
        }
        if (server != null && !server.isClosed()) {
            throw new IOException("already listening for the serial-port service");
        }
        server = new BluetoothServerSocket();
        return server;
    }

    public static synchronized boolean hasAdapter() {
        return adapter;
    }

    public static synchronized boolean adapterEnabled() {
        return enabled;
    }

    public static synchronized Set<BluetoothDevice> bonded() {
        if (bondedUnavailable) {
            return null;
        }
        return new LinkedHashSet<>(bonded.values());
    }

    /** The device with this address as the adapter makes it: known or not, any address is a device. */
    public static synchronized BluetoothDevice device(String address) {
        BluetoothDevice known = bonded.get(address);
        if (known != null) {
            return known;
        }
        FakeLeScanner scanner = leScanners.get(address);
        return scanner != null ? scanner.device : new BluetoothDevice(address, null, BluetoothDevice.DEVICE_TYPE_UNKNOWN, null);
    }

    public static synchronized int bondState(String address) {
        return bonded.containsKey(address) ? BluetoothDevice.BOND_BONDED : 10;
    }

    /** "Nearby devices" (connect and scan) is one setting here, location another. */
    public static synchronized boolean permissionGranted(String permission) {
        switch (permission) {
            case "android.permission.BLUETOOTH_CONNECT":
            case "android.permission.BLUETOOTH_SCAN":
                return FakeBluetooth.permission;
            case "android.permission.ACCESS_FINE_LOCATION":
                return location;
            default:
                return true;
        }
    }

    /** As a phone of API 31 and later does: refuses a Bluetooth call without the permission. */
    public static synchronized void requirePermission(String call) {
        if (android.os.Build.VERSION.SDK_INT >= 31 && !permission) {
            throw new SecurityException("Need android.permission.BLUETOOTH_CONNECT for " + call);
        }
    }

    public static synchronized void permissionsRequested(String[] permissions, int requestCode) {
        requests.add(String.join(",", permissions) + " #" + requestCode);
        if (grantOnRequest) {
            permission = true;
            location = true;
        }
    }

    public static synchronized void discoveryCancelled() {
        discoveryCancels++;
    }

    public static synchronized Answer connecting(String address, boolean secure) {
        connects++;
        connectKinds.add(secure ? "secure" : "insecure");
        Answer answer = answers.get(address);
        if (answer == Answer.INSECURE_ONLY) {
            return secure ? Answer.OUT_OF_RANGE : Answer.AT_ONCE;
        }
        return answer == null ? Answer.OUT_OF_RANGE : answer;
    }

    public static synchronized Pipe connected(String address) {
        Pipe pipe = new Pipe();
        Pipe earlier = links.put(address, pipe);
        if (earlier != null) {
            earlier.hangUp();
        }
        return pipe;
    }
}
