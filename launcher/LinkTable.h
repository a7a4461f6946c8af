#pragma once

#include <QString>

#include <span>

// The targets the launcher's buttons, pictures and labels open.
struct TLinkFields {
    QString FProgramHomeUrl;
    QString FFaqUrl;
    QString FUpdateUrl;
    QString FDonateUrl;
    QString FGratitudeUrl;
    QString FMakerHomeUrl;
    QString FLicenseFileName;
    QString FEbookDetailsUrl;
    QString FEbookReadUrl;
    QString FMoreEbooksUrl;
    QString FScreensaverDetailsUrl;
    QString FScreensaverDownloadUrl;
    QString FMoreScreensaversUrl;
    QString FProjectDetailsUrl;
    QString FProjectSiteUrl;
    QString FMoreProjectsUrl;
    QString FWallpaperUrl;
    QString FBookDetailsUrl;
    QString FBookReadUrl;
};

struct TLinkRow {
    QString TLinkFields::*Field;
    const char* English;
    const char* German;  // nullptr: the English value holds for German too
};

std::span<const TLinkRow> LinkRows();

TLinkFields EnglishLinks();
void ApplyGermanLinks(TLinkFields& links);

// The same for every language.
extern const char* const ArtistSiteUrl;
extern const char* const VideoUrl;
