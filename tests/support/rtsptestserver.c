/* lumora-rtsp-testserver: an RTSP server for the tests, on 127.0.0.1 only.
 *
 * Serves a moving test pattern as H.264 at rtsp://127.0.0.1:<port>/cam and prints the port it
 * listens on as its first line ("8554"), then runs until killed.
 *
 *   --port N          listen on N (default 0: a free port)
 *   --user U --password P
 *                     clients must log in as U with P (basic authentication)
 *   --end-after S     every session is ended by the server S seconds after its client connected
 *   --size WxH        the picture's size (default 320x240)
 */
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int end_after_seconds = 0;

static gboolean end_session(gpointer data)
{
    GstRTSPClient *client = GST_RTSP_CLIENT(data);
    gst_rtsp_client_close(client);
    return G_SOURCE_REMOVE;
}

static void client_connected(GstRTSPServer *server, GstRTSPClient *client, gpointer data)
{
    (void)server;
    (void)data;
    if (end_after_seconds > 0)
        g_timeout_add_seconds_full(G_PRIORITY_DEFAULT, (guint)end_after_seconds, end_session, g_object_ref(client),
                                   g_object_unref);
}

int main(int argc, char **argv)
{
    const char *port = "0";
    const char *user = NULL;
    const char *password = NULL;
    int width = 320;
    int height = 240;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--port") == 0)
            port = argv[i + 1];
        else if (strcmp(argv[i], "--user") == 0)
            user = argv[i + 1];
        else if (strcmp(argv[i], "--password") == 0)
            password = argv[i + 1];
        else if (strcmp(argv[i], "--end-after") == 0)
            end_after_seconds = atoi(argv[i + 1]);
        else if (strcmp(argv[i], "--size") == 0)
            sscanf(argv[i + 1], "%dx%d", &width, &height);
        else {
            fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    gst_init(NULL, NULL);

    GstRTSPServer *server = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server, "127.0.0.1");
    gst_rtsp_server_set_service(server, port);

    /* A key frame each second, so that a client joining sees a picture at once. */
    char launch[512];
    snprintf(launch, sizeof launch,
             "( videotestsrc is-live=true pattern=ball ! video/x-raw,width=%d,height=%d,framerate=15/1 "
             "! videoconvert ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=15 bitrate=500 "
             "! video/x-h264,profile=baseline ! rtph264pay name=pay0 pt=96 config-interval=1 )",
             width, height);
    GstRTSPMediaFactory *factory = gst_rtsp_media_factory_new();
    gst_rtsp_media_factory_set_launch(factory, launch);
    gst_rtsp_media_factory_set_protocols(factory, GST_RTSP_LOWER_TRANS_TCP);

    if (user && password) {
        GstRTSPAuth *auth = gst_rtsp_auth_new();
        GstRTSPToken *token =
            gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, "viewer", NULL);
        gchar *basic = gst_rtsp_auth_make_basic(user, password);
        gst_rtsp_auth_add_basic(auth, basic, token);
        g_free(basic);
        gst_rtsp_token_unref(token);
        gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_BASIC);
        gst_rtsp_server_set_auth(server, auth);
        g_object_unref(auth);
        gst_rtsp_media_factory_add_role(factory, "viewer", GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN, TRUE,
                                        GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, NULL);
    }

    GstRTSPMountPoints *mounts = gst_rtsp_server_get_mount_points(server);
    gst_rtsp_mount_points_add_factory(mounts, "/cam", factory);
    g_object_unref(mounts);

    g_signal_connect(server, "client-connected", G_CALLBACK(client_connected), NULL);
    if (gst_rtsp_server_attach(server, NULL) == 0) {
        fprintf(stderr, "cannot listen on 127.0.0.1:%s\n", port);
        return 1;
    }
    printf("%d\n", gst_rtsp_server_get_bound_port(server));
    fflush(stdout);
    g_main_loop_run(g_main_loop_new(NULL, FALSE));
    return 0;
}
