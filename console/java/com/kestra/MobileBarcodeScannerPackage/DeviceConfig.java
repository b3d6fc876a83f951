package com.kestra.MobileBarcodeScannerPackage;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/**
 * The emulated scanners, read from a small text file named by the system property
 * "kestra.devices": one device a line, "address | name | source", optionally followed by
 * "| options" (those of ScannerOptions), lines starting with # are comments. Sources are
 * "file:PATH" (relative to the configuration file), "stdin", "tcp:PORT",
 * "serial:DEVICE[:BAUD]", "keys:LAYOUT", "hid:DEVICE[:LAYOUT]" or "le:SERVICE[:MTU]".
 * Addresses are compared without regard to case, as on a phone. Without the property or the
 * file, a keyboard scanner and a serial scanner on 127.0.0.1:5555 are offered.
 */
final class DeviceConfig {
    static final String PROPERTY = "kestra.devices";

    final List<EmulatedDevice> devices;
    /** Lines that could not be used, in words; empty when all were fine. */
    final List<String> problems;

    private DeviceConfig(List<EmulatedDevice> devices, List<String> problems) {
        this.devices = Collections.unmodifiableList(devices);
        this.problems = Collections.unmodifiableList(problems);
    }

    static DeviceConfig builtIn() {
        List<EmulatedDevice> devices = new ArrayList<>();
        devices.add(new EmulatedDevice("00:1A:7D:DA:71:01", "Emulated scanner (console input)",
                new ConsoleInputSource(), null));
        devices.add(new EmulatedDevice("00:1A:7D:DA:71:02", "Emulated scanner (serial stream on 127.0.0.1:5555)",
                new TcpSource(5555), null));
        return new DeviceConfig(devices, new ArrayList<>());
    }

    /** The configuration in effect now; read afresh at every call, so edits apply at once. */
    static DeviceConfig load() {
        String name = System.getProperty(PROPERTY);
        if (name == null || name.isEmpty() || !Files.exists(Path.of(name))) {
            return builtIn();
        }
        Path file = Path.of(name).toAbsolutePath();
        try {
            List<String> lines = Files.readAllLines(file, StandardCharsets.UTF_8);
            // An editor may save the file with a byte-order mark; it is no part of the first address.
            if (!lines.isEmpty() && lines.get(0).startsWith("\uFEFF")) {
                lines.set(0, lines.get(0).substring(1));
            }
            return parse(lines, file.getParent(), file.toString());
        } catch (IOException e) {
            List<String> problems = new ArrayList<>();
            problems.add("cannot read the device configuration " + file + ": " + e.getMessage());
            return new DeviceConfig(new ArrayList<>(), problems);
        }
    }

    /**
     * The lines of the configuration that cannot be used, each with file, line and reason.
     * kestra-console prints them when it starts, before anyone opens a device.
     */
    static String[] problemsNow() {
        return load().problems.toArray(new String[0]);
    }

    static DeviceConfig parse(List<String> lines, Path baseDir, String origin) {
        List<EmulatedDevice> devices = new ArrayList<>();
        List<String> problems = new ArrayList<>();
        for (int i = 0; i < lines.size(); i++) {
            String line = lines.get(i).strip();
            if (line.isEmpty() || line.startsWith("#")) {
                continue;
            }
            String where = origin + " line " + (i + 1) + ": ";
            String[] fields = line.split("\\|", -1);
            if (fields.length != 3 && fields.length != 4) {
                problems.add(where + "expected 'address | name | source' or 'address | name | source | options'");
                continue;
            }
            String address = fields[0].strip();
            String deviceName = fields[1].strip();
            if (address.isEmpty()) {
                problems.add(where + "the address is empty");
                continue;
            }
            if (find(devices, address) != null) {
                problems.add(where + "the address " + address + " is listed twice");
                continue;
            }
            try {
                BarcodeSource source = BarcodeSource.parse(fields[2].strip(), baseDir);
                ScannerOptions options = fields.length == 4 ? ScannerOptions.parse(fields[3]) : null;
                devices.add(new EmulatedDevice(address, deviceName.isEmpty() ? address : deviceName, source, options));
            } catch (IllegalArgumentException e) {
                problems.add(where + e.getMessage());
            }
        }
        return new DeviceConfig(devices, problems);
    }

    EmulatedDevice find(String address) {
        return find(devices, address);
    }

    private static EmulatedDevice find(List<EmulatedDevice> devices, String address) {
        for (EmulatedDevice device : devices) {
            if (device.address.equalsIgnoreCase(address)) {
                return device;
            }
        }
        return null;
    }
}
