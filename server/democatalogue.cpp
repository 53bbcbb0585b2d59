#include "democatalogue.h"

#include "core/catalogue/ansitext.h"

#include <QRandomGenerator>
#include <QStringList>

namespace democatalogue {
namespace {

struct Row {
    const char *id;
    const char *name;
    const char *picture;
    const char *description;
    const char *reserved;
    int rating;
    int views;
    const char *addedBy;
    int width, height;
    bool transparent;
    int comments;
};

// All places and people here are made up. The table mixes in accented letters, the
// euro sign and typographic quotes on purpose: they must travel as single bytes.
const Row kRows[] = {
    {"1001", "Harbour of Kessvik", "/cams/1001.jpg", "Looking north over the old fishing harbour.<br>The ferry to Lunholm leaves at the full hour.", "", 4, 18342, "marla_t", 640, 480, false, 5},
    {"1002", "Brennerhöhe Pass", "/cams/1002.jpg", "The pass road at 2104 m. Chains are often required from November to April.", "", 5, 40213, "bergfex77", 1280, 720, false, 8},
    {"1003", "Town Square Valmont", "/cams/1003.jpg", "Place de l’Église with the café terraces.", "0", 3, 9021, "jules.r", 800, 600, false, 2},
    {"1004", "Lake Orrin Jetty", "/cams/1004.png", "A quiet jetty on Lake Orrin.<br>Best at sunset.<br>Swans every morning.", "", 4, 7321, "tove", 640, 480, false, 3},
    {"1005", "Straße am Mühlbach", "/cams/1005.jpg", "Main street of Mühlbach with the old water mill. Parking costs 2 € per hour.", "", 2, 1534, "h.größer", 320, 240, false, 0},
    {"1006", "Cape Dunmore Lighthouse", "/cams/1006.jpg", "The lighthouse keeper’s view towards the open sea.", "", 5, 66780, "seabird", 1920, 1080, false, 12},
    {"1007", "Ski Slope Grauhorn", "/cams/1007.jpg", "Top station of the Grauhorn chairlift. Snow report updated daily.", "x", 3, 22310, "pistenfuchs", 1024, 768, false, 6},
    {"1008", "Old Mill Pond", "/cams/1008.gif", "Ducks, reeds and the mill wheel.", "", 1, 877, "anna_k", 320, 240, false, 1},
    {"1009", "Marina Sol Ponent", "/cams/1009.jpg", "Yachts in the marina of Sol Ponent.<br>Wind from the west most afternoons.", "", 4, 15001, "capitán_rui", 800, 600, false, 4},
    {"1010", "Bridge over the Tarn", "/cams/1010.jpg", "Stone bridge from 1742, lit at night.", "", 3, 4410, "pontier", 640, 480, false, 0},
    {"1011", "Rooftops of Hellbrunn", "/cams/1011.png", "View from the clock tower across the roofs. The corner mask is our logo cut-out.", "", 2, 3170, "turmwart", 800, 600, true, 2},
    {"1012", "Glacier Fjellbreen", "/cams/1012.jpg", "The tongue of the Fjellbreen glacier seen from the hut.<br>Retreating every year.", "", 5, 28999, "isbjørn", 1280, 720, false, 7},
    {"1013", "Market Square Oberzell", "/cams/1013.jpg", "Wochenmarkt every Saturday. Café „Zur Linde“ on the left.", "", 3, 6120, "zeller_bua", 1024, 768, false, 3},
    {"1014", "Beach at Port Elmar", "/cams/1014.jpg", "Sandy beach with lifeguard tower. Water 19 °C today.", "", 4, 31204, "surfgirl", 1920, 1080, false, 9},
    {"1015", "Valley Station Arnsee", "/cams/1015.jpg?foo=0", "Cable car valley station – queues are shortest before nine.", "", 2, 2230, "seilbahn_sepp", 640, 480, false, 1},
    {"1016", "Château Mirevaux", "/cams/1016.jpg", "The château garden in the Loire style. Entrée 8 €.", "", 4, 11873, "amélie", 800, 600, false, 5},
    {"1017", "Ferry Terminal Nordstrand", "/cams/1017.jpg", "Ferries to the islands.<br>Check the tide table before you go.", "0", 3, 8450, "moin_moin", 1280, 720, false, 0},
    {"1018", "Church Tower St. Aldric", "/cams/1018.jpg", "Looking down from the bell chamber. The clock is always five minutes fast.", "", 1, 990, "küster_jo", 480, 640, false, 2},
    {"1019", "Vineyards of Roussel", "/cams/1019.png", "Terraced vineyards above the river. Harvest starts late September.", "", 5, 13402, "vigneron", 1024, 768, false, 4},
    {"1020", "Motorway Junction A-17", "/cams/1020.jpg", "Traffic at the Eastgate junction.", "", 0, 500, "traffic_desk", 320, 240, false, 0},
    {"1021", "Mountain Hut Edelweiß", "/cams/1021.jpg", "Hut terrace at 2340 m. Open June to October.<br>Hot soup for 6,50 €.", "", 4, 17655, "hüttenwirt", 800, 600, false, 6},
    {"1022", "Pier of Saltcombe", "/cams/1022.gif", "Victorian pier with the amusement arcade.", "", 3, 4320, "gull", 640, 480, true, 3},
    {"1023", "Old Town Bellaria", "/cams/1023.jpg", "Piazza with the fountain. Gelato recommended.", "", 5, 25611, "marco_p", 1920, 1080, false, 10},
    {"1024", "Reservoir Dam Talsperre", "/cams/1024.jpg", "The dam wall and the spillway. After rain the water runs over the crest.", "x", 2, 3390, "damwatch", 1024, 768, false, 1},
    {"1025", "Camp Site Blue Lagoon", "/cams/1025.jpeg", "Tents, caravans and the lagoon.<br>Reception open 8–20.", "", 3, 7002, "camper_van", 640, 480, false, 2},
    {"1026", "Crossroads Gänsemarkt", "/cams/1026.jpg", "Busy crossing in the city centre.", "", 1, 1206, "stadtgucker", 1280, 720, false, 0},
    {"1027", "Island Skerholm", "/cams/1027.png", "The skerries at low tide. Seals on the left rocks.", "", 4, 9830, "öresund", 320, 240, false, 3},
    {"1028", "Airfield Hochfeld", "/cams/1028.jpg", "Gliders on the grass strip, weekends only.", "", 3, 5420, "thermik", 800, 600, false, 2},
    {"1029", "Riverside Promenade Lanz", "/cams/1029.jpg", "Promenade along the river Lanz … with the new footbridge.", "", 2, 2875, "flaneur", 1024, 768, false, 1},
    {"1030", "Snow Park Kaltenegg", "/cams/cam.php", "Kickers, rails and the halfpipe.<br>Park opens at 9:00.", "", 5, 19540, "shred", 640, 480, false, 4},
    {"1031", "Bay of San Lorien", "/cams/1031.jpg", "The bay seen from the fortress. Boats to the grottoes every hour.", "", 4, 14100, "marinera", 1920, 1080, false, 5},
    {"1032", "Farmyard Hinteregg", "/cams/1032.jpg", "Cows, a tractor and the Hinteregg farmhouse.", "", 0, 310, "bäuerin_resi", 320, 240, false, 0},
    {"1033", "Windmill Zeevang", "/cams/1033.gif", "The Zeevang windmill turns on Saturdays.", "", 3, 2018, "molenaar", 800, 600, false, 1},
    {"1034", "Tram Stop Königsplatz", "/cams/1034.jpg", "Tram lines 3 and 7. Ticket machine takes coins only.", "", 2, 3455, "schaffner", 640, 480, false, 2},
    {"1035", "Summit Cross Rotwand", "/cams/1035.jpg", "Summit cross at 2210 m. Weather changes fast up here.<br>Bring a jacket.<br>Really.", "", 5, 37002, "gipfelstürmer", 1280, 720, false, 8},
    {"1036", "Garden Café Rosenhof", "/cams/1036.jpg", "Our garden café in bloom. Kaffee & Kuchen from 2 p.m.", "", 4, 6650, "rosenhof", 1024, 768, false, 3},
    {"1037", "Harbour live", "/live/1037.mjpg", "The harbour of Kessvik as it happens: a live stream, not a still.", "", 4, 2890, "marla_t", 640, 480, false, 2},
    {"1038", "Harbour video", "/hls/1038/index.m3u8", "The harbour of Kessvik as video: an HLS stream in two sizes.", "", 4, 1204, "marla_t", 1280, 720, false, 1},
};

std::vector<DemoCam> buildCams()
{
    std::vector<DemoCam> out;
    for (const Row &r : kRows) {
        DemoCam cam;
        cam.id = QString::fromLatin1(r.id);
        cam.name = QString::fromUtf8(r.name);
        QString picture = QString::fromUtf8(r.picture);
        if (picture == QLatin1String("/cams/cam.php"))
            picture = QStringLiteral("/cam.php?id=") + cam.id;
        cam.picturePath = picture;
        cam.description = QString::fromUtf8(r.description);
        cam.reserved = QString::fromLatin1(r.reserved);
        cam.rating = r.rating;
        cam.viewCount = r.views;
        cam.addedBy = QString::fromUtf8(r.addedBy);
        cam.size = QSize(r.width, r.height);
        cam.transparent = r.transparent;
        cam.commentCount = r.comments;
        out.push_back(cam);
    }
    return out;
}

const char *const kCommenters[] = {
    "Jörg", "lena88", "Pierre-André", "hiker_tom", "Maribel", "ole", "Ström", "kat",
    "Guest", "Dörte W.", "nightowl", "François", "Seppl", "bea", "wanderlust", "M. Núñez",
};

const char *const kOpeners[] = {
    "Great view today!",
    "Was there last summer, brings back memories.",
    "Picture is frozen again?",
    "Wonderful.",
    "Does anyone know when the webcam was installed?",
    "Thanks for keeping this cam running all these years.",
    "Hello from Canada!",
    "Schöne Grüße aus Köln.",
    "The light in the evening is just beautiful,",
    "Merci pour la vue, c’est magnifique.",
};

const char *const kMiddles[] = {
    "we stayed in the small hotel right next to it and had breakfast on the terrace every morning",
    "the weather changes so quickly up there that you can watch clouds roll in within minutes",
    "my grandfather used to work here and he still talks about the winter of sixty-three",
    "I check this every morning before work  just to see what the sky is doing",
    "it was raining the whole week we visited, but the coffee made up for it",
    "the ferry was late as usual and we spent an hour watching the boats",
    "prices went up though, a coffee is now 3,20 € which is a bit much",
    "you can see the tower on the right if you look closely at the full picture",
    "last time the road was closed because of snow, so check before driving",
    "the new camera is much sharper than the old one",
};

const char *const kClosers[] = {
    "Keep it up!", "Cheers.", "See you next year.", ":-)", "Greetings to everyone watching.",
    "Regards, a regular visitor.", "Danke!", "Bye for now…", "Can’t wait to go back.", "",
};

QString makeCommentText(QRandomGenerator &rng)
{
    QStringList parts;
    parts << QString::fromUtf8(kOpeners[rng.bounded(int(std::size(kOpeners)))]);
    // From a couple of words up to a long paragraph of several sentences.
    const int middles = rng.bounded(5);
    for (int i = 0; i < middles; ++i) {
        QString sentence = QString::fromUtf8(kMiddles[rng.bounded(int(std::size(kMiddles)))]);
        sentence[0] = sentence[0].toUpper();
        // Visitors typed line breaks that the site stored as markup.
        parts << (rng.bounded(4) == 0 ? QStringLiteral("<br />") : QString()) + sentence + QLatin1Char('.');
    }
    const QString closer = QString::fromUtf8(kClosers[rng.bounded(int(std::size(kClosers)))]);
    if (!closer.isEmpty())
        parts << closer;
    // Double blanks between sentences occur in hand-typed comments.
    return parts.join(rng.bounded(3) == 0 ? QStringLiteral("  ") : QStringLiteral(" "));
}

} // namespace

const std::vector<DemoCam> &cams()
{
    static const std::vector<DemoCam> all = buildCams();
    return all;
}

const DemoCam *find(const QString &id)
{
    for (const DemoCam &cam : cams())
        if (cam.id == id)
            return &cam;
    return nullptr;
}

QByteArray toWindows1252(const QString &text) { return ansi::encode(text); }

QByteArray catalogueDocument(const QString &baseUrl,
                             const std::function<QByteArray(const QString &)> &commentsFor)
{
    QByteArray out;
    for (const DemoCam &cam : cams()) {
        const int comments = countLines(commentsFor(cam.id));
        const QStringList fields {
            cam.id, cam.name, baseUrl + cam.picturePath, cam.description, cam.reserved,
            QString::number(cam.rating), QString::number(comments), QString::number(cam.viewCount), cam.addedBy,
        };
        out += toWindows1252(fields.join(QLatin1Char(';')));
        out += "\r\n";
    }
    return out;
}

QByteArray commentsDocument(const QString &camId)
{
    const DemoCam *cam = find(camId);
    if (!cam || cam->commentCount == 0)
        return {};
    QRandomGenerator rng(camId.toUInt() * 2654435761u);
    QByteArray out;
    // Dates walk backwards from a fixed day so the document is identical on every run.
    int day = 28, month = 11, year = 2006, hour = 21, minute = 14;
    for (int i = 0; i < cam->commentCount; ++i) {
        const QString name = QString::fromUtf8(kCommenters[rng.bounded(int(std::size(kCommenters)))]);
        const QString date = QStringLiteral("%1.%2.%3 %4:%5")
                                 .arg(day, 2, 10, QLatin1Char('0'))
                                 .arg(month, 2, 10, QLatin1Char('0'))
                                 .arg(year)
                                 .arg(hour, 2, 10, QLatin1Char('0'))
                                 .arg(minute, 2, 10, QLatin1Char('0'));
        out += toWindows1252(name + QLatin1Char(';') + makeCommentText(rng) + QLatin1Char(';') + date);
        out += "\r\n";
        day -= 1 + rng.bounded(9);
        if (day < 1) {
            day += 28;
            if (--month < 1) {
                month = 12;
                --year;
            }
        }
        hour = rng.bounded(24);
        minute = rng.bounded(60);
    }
    return out;
}

int countLines(const QByteArray &document)
{
    int n = 0;
    for (const QByteArray &line : document.split('\n'))
        if (!line.trimmed().isEmpty())
            ++n;
    return n;
}

} // namespace democatalogue
