package android.app;

/**
 * The console's stand-in for the Android framework's activity. The scanner peer receives one at
 * construction, as it would in the app, and only keeps it.
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
