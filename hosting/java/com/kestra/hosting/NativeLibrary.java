package com.kestra.hosting;

/**
 * Loads a native library the way an app does: System.load called from Java code, so the
 * library belongs to the application class loader and the VM binds its natives by name.
 */
public final class NativeLibrary {
    private NativeLibrary() {}

    /** Loads the library at this absolute path; loading it again does nothing. */
    public static void load(String path) {
        System.load(path);
    }
}
