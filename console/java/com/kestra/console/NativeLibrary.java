package com.kestra.console;

/**
 * Loads the driver library the way the app does: System.load from a static initializer, so the
 * library belongs to the application class loader and the VM binds its natives by name.
 */
public final class NativeLibrary {
    static {
        System.load(System.getProperty("kestra.library"));
    }

    private NativeLibrary() {}

    /** Calling it runs the static initializer once. */
    public static void ensureLoaded() {}
}
