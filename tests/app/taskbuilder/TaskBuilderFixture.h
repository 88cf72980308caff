// The window's choices as a task builder sees them: the format and settings lists filled as at
// start-up, the options dialog's choices and the volume sliders.
#pragma once

#include <QString>

#include <gtest/gtest.h>

#include "AdditionalOptions.h"
#include "ConversionSettings.h"
#include "TaskBuilder.h"
#include "VolumeSliders.h"

class TaskBuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings.FillStartupLists();
        Settings.SetAdditionalOptions(&Options);
        Select("MP4 - MPEG4 Video (*.mp4)");
    }

    // Chooses an output format as the user does.
    void Select(const QString& AEntry) {
        const int position = Settings.ComboOutputFormat.IndexOf(AEntry);
        ASSERT_GE(position, 0) << AEntry.toStdString();
        Settings.SelectOutputFormat(position);
    }

    // Chooses an item of one of the lists; the item must be offered.
    static void Choose(vx::TSettingsList& AList, const QString& AText) {
        ASSERT_TRUE(AList.SetText(AText))
            << AText.toStdString() << " is not offered by " << AList.Caption().toStdString();
    }

    vx::TConversionSettings Settings;
    vx::TAdditionalOptions Options;
    vx::TVolumeSliders Volume;
    vx::TTaskBuilder Builder{Settings, Options, Volume};
};
