// The choices of the "Additional Options" dialog, without the dialog: the window, the settings
// store and the command line all read and change them here, and the dialog follows.
#pragma once

#include <QObject>

namespace vx {

class TAdditionalOptions : public QObject {
    Q_OBJECT
public:
    static constexpr int MinDropDownItems = 26;
    static constexpr int MaxDropDownItems = 47;
    static constexpr int DefaultDropDownItems = 26;
    // Positions of the view choice.
    static constexpr int SimpleSettings = 0;
    static constexpr int AdvanceSettings = 1;

    explicit TAdditionalOptions(QObject* AParent = nullptr) : QObject(AParent) {}

    // "Overwrite Existing File With The Same Name" (CheckBoxOverWrite).
    bool Overwrite() const { return FOverwrite; }
    void SetOverwrite(bool AValue);

    // "Drop Down Items in Output Format List" (SpinEdit1). Values outside 26..47 are pulled to the
    // nearer end. Every call announces the value, changed or not, because the format list takes its
    // drop-down length from here whenever the value is set.
    int DropDownItems() const { return FDropDownItems; }
    void SetDropDownItems(int AValue);

    // "Use all processor cores": the decoders and encoders of each conversion use as many threads
    // as the codec can (on by default). CodecThreads() is the thread count the tasks ask for:
    // 0 lets each codec choose from the processor count, 1 is one thread per codec; the command
    // line may set any count. With any count but 1 the engine also gives the audio path and
    // the video encoder threads of their own.
    bool UseAllCores() const { return FCodecThreads == AllCores; }
    void SetUseAllCores(bool AValue) { SetCodecThreads(AValue ? AllCores : 1); }
    int CodecThreads() const { return FCodecThreads; }
    // Negative counts throw std::out_of_range.
    void SetCodecThreads(int ACount);
    static constexpr int AllCores = 0;

    // "Simultaneous conversions": how many checked rows a run converts at once, 1 up to the
    // processor count. Values outside are pulled to the nearer end.
    int SimultaneousConversions() const { return FSimultaneous; }
    void SetSimultaneousConversions(int ACount);
    static int MaxSimultaneousConversions();
    static constexpr int DefaultSimultaneousConversions = 1;

    // Selected position of " Audio and Video Settings " (RadioGroup1): 0 simple, 1 advanced.
    // Selecting does not apply the view; RadioGroup1Click does. Other positions throw std::out_of_range.
    int SimpleAdvanceSettings() const { return FSimpleAdvanceSettings; }
    void SetSimpleAdvanceSettings(int APosition);

    // Applies the selected view: the window shows the matching settings groups.
    void RadioGroup1Click() { emit ViewApplied(FSimpleAdvanceSettings); }

signals:
    void OverwriteChanged(bool AValue);
    // SpinEdit1Change: the drop-down length of the format list follows this.
    void DropDownItemsChanged(int AValue);
    void SimpleAdvanceSettingsChanged(int APosition);
    void CodecThreadsChanged(int ACount);
    void SimultaneousConversionsChanged(int ACount);
    void ViewApplied(int APosition);

private:
    bool FOverwrite = false;
    int FDropDownItems = DefaultDropDownItems;
    int FSimpleAdvanceSettings = SimpleSettings;
    int FCodecThreads = AllCores;
    int FSimultaneous = DefaultSimultaneousConversions;
};

} // namespace vx
