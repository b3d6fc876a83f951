package com.kestra.MobileBarcodeScannerPackage;

import com.kestra.console.SerialPort;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Where a scanner's barcodes come from: a file, the console's standard input, a TCP port on the
 * loopback interface (a stand-in for a serial-port stream), a real serial device, an emulated
 * keyboard-mode scanner, a real one's input event device, or an emulated Bluetooth LE scanner.
 */
abstract class BarcodeSource {
    /** Connects to the source. The message of the exception says in words why it cannot. */
    abstract SourceStream connect() throws IOException;

    /** Connects for the device (an emulated LE scanner tells what its transport does). */
    SourceStream connect(EmulatedDevice device) throws IOException {
        return connect();
    }

    /**
     * Types a barcode into the open emulated scanner that `scan` reaches: one in keyboard mode, or
     * one over Bluetooth LE; false when neither is open.
     */
    static boolean scan(String text) {
        return KeyboardSource.type(text) || LeSource.scan(text);
    }

    /** The source as it is written in the device configuration. */
    abstract String describe();

    /**
     * Reads a source written as "file:PATH" (relative to baseDir), "stdin", "tcp:PORT",
     * "serial:DEVICE[:BAUD]", "keys:LAYOUT", "hid:DEVICE[:LAYOUT]" or "le:SERVICE[:MTU]". Throws
     * IllegalArgumentException with the reason for anything else.
     */
    static BarcodeSource parse(String text, Path baseDir) {
        if (text.equals("stdin")) {
            return new ConsoleInputSource();
        }
        if (text.startsWith("file:") && text.length() > "file:".length()) {
            Path path = Path.of(text.substring("file:".length()));
            return new FileSource(baseDir == null ? path : baseDir.resolve(path));
        }
        if (text.startsWith("tcp:")) {
            int port;
            try {
                port = Integer.parseInt(text.substring("tcp:".length()));
            } catch (NumberFormatException e) {
                port = -1;
            }
            if (port < 1 || port > 65535) {
                throw new IllegalArgumentException("the port of '" + text + "' is not a number from 1 to 65535");
            }
            return new TcpSource(port);
        }
        if (text.startsWith("serial:")) {
            return parseSerial(text, baseDir);
        }
        if (text.startsWith("keys:")) {
            return new KeyboardSource(layoutNamed(text.substring("keys:".length()), text));
        }
        if (text.startsWith("hid:")) {
            return parseInputDevice(text, baseDir);
        }
        if (text.startsWith("le:")) {
            return LeSource.parse(text);
        }
        throw new IllegalArgumentException("unknown barcode source '" + text
                + "' (use file:PATH, stdin, tcp:PORT, serial:DEVICE[:BAUD], keys:LAYOUT, hid:DEVICE[:LAYOUT] or"
                + " le:SERVICE[:MTU])");
    }

    private static KeyboardLayout layoutNamed(String name, String text) {
        KeyboardLayout layout = KeyboardLayout.named(name);
        if (layout == null) {
            throw new IllegalArgumentException("the keyboard layout '" + name + "' of '" + text + "' is none of "
                    + String.join(", ", KeyboardLayout.NAMES));
        }
        return layout;
    }

    // The layout after the last colon is optional (US QWERTY without it): a device path may hold
    // colons itself.
    private static BarcodeSource parseInputDevice(String text, Path baseDir) {
        String device = text.substring("hid:".length());
        KeyboardLayout layout = KeyboardLayout.US;
        int colon = device.lastIndexOf(':');
        if (colon >= 0 && KeyboardLayout.named(device.substring(colon + 1)) != null) {
            layout = KeyboardLayout.named(device.substring(colon + 1));
            device = device.substring(0, colon);
        }
        if (device.isEmpty()) {
            throw new IllegalArgumentException("'" + text + "' names no device");
        }
        return new InputEventSource(resolve(Path.of(device), baseDir), layout);
    }

    // A device path may hold colons itself (/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.2): a
    // last part of digits is the speed; a last part of letters and digits that is not a number
    // is a speed written wrong, unless the whole text names an existing device.
    private static BarcodeSource parseSerial(String text, Path baseDir) {
        String device = text.substring("serial:".length());
        int baud = SerialSource.DEFAULT_BAUD;
        int colon = device.lastIndexOf(':');
        String last = colon >= 0 ? device.substring(colon + 1) : "";
        if (last.matches("[0-9]{1,9}")) {
            baud = Integer.parseInt(last);
            device = device.substring(0, colon);
        } else if (last.matches("[A-Za-z0-9]+") && !Files.exists(resolve(Path.of(device), baseDir))) {
            throw new IllegalArgumentException("the speed '" + last + "' of '" + text
                    + "' is not a number (write serial:DEVICE or serial:DEVICE:BAUD, such as 9600)");
        }
        if (device.isEmpty()) {
            throw new IllegalArgumentException("'" + text + "' names no device");
        }
        if (!SerialPort.supportsSpeed(baud)) {
            throw new IllegalArgumentException("the speed of '" + text
                    + "' is not one a serial port takes (such as 9600, 19200, 38400, 57600 or 115200)");
        }
        return new SerialSource(resolve(Path.of(device), baseDir), baud);
    }

    private static Path resolve(Path path, Path baseDir) {
        return baseDir == null ? path : baseDir.resolve(path);
    }
}
