package com.kestra.MobileBarcodeScannerPackage;

import android.view.InputDevice;
import android.view.KeyEvent;
import android.view.Window;
import java.lang.reflect.InvocationHandler;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Proxy;

/**
 * Takes one keyboard's keys in a window before its views see them: the window's callback is
 * wrapped by a proxy that hands that keyboard's key events to a stream and consumes them, and
 * passes everything else (other keyboards, the touch keyboard, touches, menus, focus) to the
 * callback it wrapped, unchanged.
 *
 * The proxy implements Window.Callback as the running system has it, so members added in later
 * versions of the platform also reach the wrapped callback, which a class compiled against one
 * SDK would answer with the interface's defaults instead.
 *
 * Installed and removed on the user-interface thread. Once released (from any thread) it passes
 * everything on: the host may have wrapped it in a callback of its own, which must keep working.
 */
final class KeyCapture implements InvocationHandler {
    private final Window window;
    private final Window.Callback wrapped;
    private final String descriptor;
    private final KeyStream stream;
    final Window.Callback proxy;
    private volatile boolean capturing = true; // cleared by any thread, read on the UI thread

    private KeyCapture(Window window, String descriptor, KeyStream stream) {
        this.window = window;
        this.wrapped = window.getCallback();
        this.descriptor = descriptor;
        this.stream = stream;
        // Defined in the app's class loader, which sees the platform's interface.
        this.proxy = (Window.Callback) Proxy.newProxyInstance(KeyCapture.class.getClassLoader(),
                new Class<?>[] {Window.Callback.class}, this);
    }

    /** Wraps the window's callback as it is now; on the user-interface thread. */
    static KeyCapture install(Window window, String descriptor, KeyStream stream) {
        KeyCapture capture = new KeyCapture(window, descriptor, stream);
        window.setCallback(capture.proxy);
        return capture;
    }

    /** Whether the window's callback is this capture's proxy; on the user-interface thread. */
    boolean onTop() {
        return window.getCallback() == proxy;
    }

    /** From now on everything passes; from any thread, at once. */
    void release() {
        capturing = false;
    }

    /**
     * On the user-interface thread: puts back the callback this capture wrapped, unless another
     * callback has been set on top since (then this one stays in its chain, passing everything).
     */
    void remove() {
        capturing = false;
        if (onTop()) {
            window.setCallback(wrapped);
        }
    }

    @Override
    public Object invoke(Object self, Method method, Object[] args) throws Throwable {
        String name = method.getName();
        int count = args == null ? 0 : args.length;
        if (method.getDeclaringClass() == Object.class) {
            if (name.equals("equals") && count == 1) {
                return self == args[0];
            }
            if (name.equals("hashCode") && count == 0) {
                return System.identityHashCode(self);
            }
            return "key capture of " + descriptor + " around " + wrapped;
        }
        if (capturing && name.equals("dispatchKeyEvent") && count == 1 && args[0] instanceof KeyEvent
                && captured((KeyEvent) args[0])) {
            return Boolean.TRUE;
        }
        if (wrapped == null) {
            return defaultResult(method.getReturnType());
        }
        try {
            return method.invoke(wrapped, args);
        } catch (InvocationTargetException e) {
            throw e.getCause();
        }
    }

    // Queues the scanner's key; any other passes. Nothing of ours may throw on the app's
    // user-interface thread, where it would end the app: a key that cannot be placed passes.
    private boolean captured(KeyEvent event) {
        try {
            InputDevice device = InputDevice.getDevice(event.getDeviceId());
            if (device == null || !descriptor.equals(device.getDescriptor())) {
                return false;
            }
            stream.offer(event.getKeyCode(), event.getAction(), event.getMetaState(), event.getScanCode(),
                    event.getRepeatCount());
            return true;
        } catch (RuntimeException e) {
            return false;
        }
    }

    private static Object defaultResult(Class<?> type) {
        if (type == boolean.class) {
            return Boolean.FALSE;
        }
        return null;
    }
}
