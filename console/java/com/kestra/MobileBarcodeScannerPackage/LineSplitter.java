package com.kestra.MobileBarcodeScannerPackage;

import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.util.function.Consumer;

/**
 * Cuts a scanner's byte stream into barcodes: a line ends with CR, LF or CR LF, also when the
 * CR and the LF arrive in different reads. Lines are decoded as UTF-8. Empty lines are skipped,
 * since a scanner never sends an empty scan and a terminal sends them for a stray Enter.
 */
final class LineSplitter {
    /** A stream that never ends a line must not grow without bound: such a run is cut here. */
    static final int MAX_LINE_BYTES = 64 * 1024;

    private final ByteArrayOutputStream line = new ByteArrayOutputStream();
    private boolean afterCr;

    void feed(byte[] data, int count, Consumer<String> lines) {
        for (int i = 0; i < count; i++) {
            byte b = data[i];
            if (b == '\n' && afterCr) {
                afterCr = false;
                continue;
            }
            afterCr = b == '\r';
            if (b == '\r' || b == '\n') {
                emit(lines);
            } else {
                line.write(b);
                if (line.size() >= MAX_LINE_BYTES) {
                    emit(lines);
                }
            }
        }
    }

    /** The stream has ended: a last line without its line end still counts. */
    void finish(Consumer<String> lines) {
        emit(lines);
        afterCr = false;
    }

    private void emit(Consumer<String> lines) {
        if (line.size() > 0) {
            String text = new String(line.toByteArray(), StandardCharsets.UTF_8);
            line.reset();
            lines.accept(text);
        }
    }
}
