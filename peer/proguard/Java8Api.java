import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.util.Enumeration;
import java.util.HashSet;
import java.util.Set;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;

/**
 * Makes the Java 8 API as a class library from a JDK's lib/ct.sym, for a shrinker that reads
 * class files only up to Java 13: every entry of a release folder whose name holds 8, without
 * its module folder, renamed from .sig to .class, its class-file version set to 52 (Java 8).
 * Usage: java Java8Api.java CT_SYM OUTPUT_JAR
 */
public final class Java8Api {
    public static void main(String[] args) throws IOException {
        Set<String> written = new HashSet<>();
        Path target = Paths.get(args[1]);
        Path partial = Paths.get(args[1] + ".partial");
        try (ZipFile symbols = new ZipFile(args[0]);
                ZipOutputStream out = new ZipOutputStream(Files.newOutputStream(partial))) {
            for (Enumeration<? extends ZipEntry> entries = symbols.entries(); entries.hasMoreElements();) {
                ZipEntry entry = entries.nextElement();
                String[] parts = entry.getName().split("/", 3);
                if (parts.length < 3 || !parts[0].contains("8") || !entry.getName().endsWith(".sig")) {
                    continue;
                }
                String name = parts[2].substring(0, parts[2].length() - ".sig".length()) + ".class";
                if (!written.add(name)) {
                    continue;
                }
                byte[] bytes;
                try (InputStream in = symbols.getInputStream(entry)) {
                    bytes = in.readAllBytes();
                }
                bytes[6] = 0;
                bytes[7] = 52;
                out.putNextEntry(new ZipEntry(name));
                out.write(bytes);
                out.closeEntry();
            }
        }
        // A reader never sees a half-written jar.
        Files.move(partial, target, StandardCopyOption.REPLACE_EXISTING, StandardCopyOption.ATOMIC_MOVE);
    }
}
