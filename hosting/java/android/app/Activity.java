package android.app;

/**
 * Stand-in for the Android framework's activity, shared by every program that hosts the
 * library. The scanner peer receives one at construction, as it would in the app, and only
 * keeps it.
 */
public class Activity {
    private final String title;

    public Activity(String title) {
        this.title = title;
    }

    public String getTitle() {
        return title;
    }
}
