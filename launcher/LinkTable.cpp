#include "launcher/LinkTable.h"

namespace {

#define EN "https://www.tessmark.example"
#define DE "https://www.tessmark-de.example"

// Donating and the Gratitude picture lead to one page; so do the project's two links.
constexpr auto DonateEn = EN "/gratitude.php";
constexpr auto DonateDe = DE "/dankbarkeit.php?SID=10";
constexpr auto ProjectUrl = "https://www.photo-days.example";

using L = TLinkFields;

const TLinkRow LinkRowTable[] = {
    {&L::FProgramHomeUrl, EN "/software/brambold_free_unrar.php", DE "/software/brambold_free_unrar_deutsch.php"},
    {&L::FFaqUrl, EN "/software/brambold_free_unrar_faq.php", DE "/software/brambold_free_unrar_faq_deutsch.php"},
    {&L::FUpdateUrl, EN "/software/brambold_free_unrar_update.php?UID=254",
     DE "/software/brambold_free_unrar_update_deutsch.php?UID=254"},
    {&L::FDonateUrl, DonateEn, DonateDe},
    {&L::FGratitudeUrl, DonateEn, DonateDe},
    {&L::FMakerHomeUrl, EN, DE},
    {&L::FLicenseFileName, "License.txt", nullptr},
    {&L::FEbookDetailsUrl, EN "/ebooks/the_quiet_archive.php", DE "/ebooks/das_stille_archiv.php"},
    {&L::FEbookReadUrl, EN "/ebooks/the_quiet_archive.pdf", DE "/ebooks/das_stille_archiv.pdf"},
    {&L::FMoreEbooksUrl, EN "/ebooks/", DE "/ebooks/"},
    {&L::FScreensaverDetailsUrl, EN "/screensavers/aquarium_wallpapers.php",
     DE "/bildschirmschoner/aquarium_hintergruende.php"},
    {&L::FScreensaverDownloadUrl, EN "/downloads/aquarium_screensaver_setup.exe",
     DE "/download.php?file=aquarium_screensaver_setup.exe"},
    {&L::FMoreScreensaversUrl, EN "/screensavers/", DE "/bildschirmschoner/"},
    {&L::FProjectDetailsUrl, ProjectUrl, ProjectUrl},
    {&L::FProjectSiteUrl, ProjectUrl, ProjectUrl},
    {&L::FMoreProjectsUrl, EN "/projects/", DE "/projekte/"},
    {&L::FWallpaperUrl, EN "/wallpapers/gratitude_1600x1200.jpg", DE "/wallpapers/dankbarkeit_1600x1200.jpg"},
    {&L::FBookDetailsUrl, EN "/books/kind_words.php", DE "/buecher/freundliche_worte.php"},
    {&L::FBookReadUrl, EN "/books/kind_words.pdf", DE "/buecher/freundliche_worte.pdf"},
};

#undef EN
#undef DE

}  // namespace

const char* const ArtistSiteUrl = "https://www.ilka-brand.example";
const char* const VideoUrl = "https://www.youtube.com/watch?v=Br4mb0ld254";

std::span<const TLinkRow> LinkRows()
{
    return LinkRowTable;
}

TLinkFields EnglishLinks()
{
    TLinkFields links;
    for (const TLinkRow& row : LinkRowTable)
        links.*row.Field = QString::fromUtf8(row.English);
    return links;
}

void ApplyGermanLinks(TLinkFields& links)
{
    for (const TLinkRow& row : LinkRowTable)
        if (row.German)
            links.*row.Field = QString::fromUtf8(row.German);
}
