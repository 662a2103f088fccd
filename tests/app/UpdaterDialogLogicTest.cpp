#include "app/logic/UpdaterDialogLogic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/logic/DialogTemplate.h"
#include "package/PackageBuilder.h"
#include "platform/PortTable.h"
#include "platform/Thread.h"
#include "sim/DeviceLines.h"
#include "tests/support/Fakes.h"
#include "tests/support/LockHolder.h"
#include "tests/support/SigningFixtures.h"
#include "tests/support/SimulatedPorts.h"
#include "tests/support/TempDir.h"

using ::testing::ElementsAre;

namespace {

class UpdaterDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        state.Device = &t.device;
        for (const ControlTemplate& c : kDialogControls) {
            if (c.id > 0)
                dialog.SetControlText(c.id, c.text);
        }
        dialog.EnableControl(kControlUpdate, false);
        dialog.textHistory.clear();
        dialog.handler = [this](unsigned m, uintptr_t w, intptr_t l) { logic->OnMessage(m, w, l); };
        MakeLogic(platform::StartDetachedThread);
    }
    void MakeLogic(UpdaterDialogLogic::ThreadStarter starter) {
        logic = std::make_unique<UpdaterDialogLogic>(state, dialog, &progress, &dialog,
                                                     std::move(starter));
        // The test's own policy and keys, never the machine's.
        logic->SetTrust({dir.File("etc"), dir.File("user")}, {});
    }
    void Attach(sim::DeviceConfig config = {}) {
        port = std::make_unique<OneSimulatedPort>(config);
    }
    // Opens the dialog and runs the detection it posts.
    void Open() {
        ASSERT_TRUE(logic->OnInitDialog());
        ASSERT_THAT(dialog.posted, ElementsAre(WM_DETECT_HARDWARE));
        logic->OnMessage(WM_DETECT_HARDWARE, 0, 0);
    }
    std::string Package(uint8_t major, uint8_t minor, char target, const std::string& name) {
        return dir.Write(name, FirmwarePackage(700, major, minor, target));
    }
    void Select(const std::string& path) {
        dialog.nextChoice = path;
        logic->OnCommand(kControlBrowse);
    }
    void FinishUpdate() {
        ASSERT_TRUE(dialog.PumpUntil([this] { return !logic->UpdateRunning(); }, 20000));
    }
    const MessageBoxRecord& LastBox() { return dialog.boxes.back(); }

    TracedDevice t;
    UpdaterState state;
    FakeDialog dialog;
    RecordingProgressBar progress;
    std::unique_ptr<UpdaterDialogLogic> logic;
    std::unique_ptr<OneSimulatedPort> port;
    TempDir dir;
};

}  // namespace

TEST_F(UpdaterDialog, NoDeviceStillShowsAValidPackage) {
    ScopedPortTable none({});
    Open();
    EXPECT_TRUE(dialog.centered);
    EXPECT_THAT(dialog.textHistory[kControlFirmwareVersion],
                ElementsAre("Searching for HW...", "Not Found"));
    EXPECT_EQ("Not Found", dialog.ControlText(kControlHardwareDescription));
    EXPECT_EQ(kControlBrowse, dialog.focused) << "the keyboard starts on Browse";

    Select(Package(2, 12, 'Q', "q.bfw"));
    EXPECT_EQ("Select Firmware Image...", dialog.chooserTitle);
    EXPECT_EQ("bfw", dialog.chooserExtension);
    ASSERT_EQ(2u, dialog.chooserFilter.size());
    EXPECT_EQ("Brevik Firmware Image Files (*.bfw)", dialog.chooserFilter[0].first);
    EXPECT_EQ("*.*", dialog.chooserFilter[1].second);
    EXPECT_EQ("2.12.Q", dialog.ControlText(kControlUpdateVersion));
    EXPECT_EQ("Quillex", dialog.ControlText(kControlTargetHardware));
    EXPECT_EQ(dir.File("q.bfw"), dialog.ControlText(kControlImageFile));
    EXPECT_TRUE(state.PackageLoaded);
    EXPECT_FALSE(dialog.IsControlEnabled(kControlUpdate));
    EXPECT_TRUE(dialog.boxes.empty());
}

TEST_F(UpdaterDialog, FoundDeviceAndMatchingOrForeignPackages) {
    Attach();
    Open();
    EXPECT_EQ("02.11.Q", dialog.ControlText(kControlFirmwareVersion));
    EXPECT_EQ("Quillex USB v2.11.Q", dialog.ControlText(kControlHardwareDescription));

    Select(Package(2, 12, 'Q', "q.bfw"));
    EXPECT_TRUE(dialog.IsControlEnabled(kControlUpdate));

    Select(Package(10, 5, 'L', "l.bfw"));
    EXPECT_EQ("10.5.L", dialog.ControlText(kControlUpdateVersion));
    EXPECT_EQ("Tessaly", dialog.ControlText(kControlTargetHardware));
    ASSERT_EQ(1u, dialog.boxes.size());
    EXPECT_EQ("Cannot Update", LastBox().caption);
    EXPECT_EQ(
        "This firmware package does not match the type of hardware\ndeteced!\n\nThe "
        "package is 10.5.L for Tessaly; the device is a Quillex USB v2.11.Q.",
        LastBox().text);
    EXPECT_FALSE(dialog.IsControlEnabled(kControlUpdate));

    Select(Package(1, 0, 'P', "p.bfw"));
    EXPECT_EQ("Varro & Pell", dialog.ControlText(kControlTargetHardware));
    Select(Package(1, 0, 'N', "n.bfw"));
    EXPECT_EQ("Nerrin", dialog.ControlText(kControlTargetHardware));
    Select(Package(1, 0, 'K', "k.bfw"));
    EXPECT_EQ("Unknown", dialog.ControlText(kControlTargetHardware));
}

TEST_F(UpdaterDialog, InvalidFileAfterAValidOne) {
    Attach();
    Open();
    const std::string good = Package(2, 12, 'Q', "good.bfw");
    Select(good);
    ASSERT_TRUE(dialog.IsControlEnabled(kControlUpdate));
    std::vector<uint8_t> broken = BuildPackage({1, 2, 3}, 2, 13, 'Q');
    broken[13] = 14;  // version edited, header sum not
    Select(dir.Write("broken.bfw", broken));
    ASSERT_EQ(1u, dialog.boxes.size());
    EXPECT_EQ("Invalid Firmware Package\n\nbroken.bfw: damaged: its header sum is wrong.",
              LastBox().text);
    EXPECT_EQ("Error!", LastBox().caption);
    EXPECT_EQ(0x30u, LastBox().icon);
    // The field names the refused file and the details say what is wrong;
    // nothing flashable is left behind: not the earlier file by its path,
    // which may have changed since it was checked.
    EXPECT_EQ("damaged: its header sum is wrong", dialog.ControlText(kControlUpdateVersion));
    EXPECT_EQ("Unknown", dialog.ControlText(kControlTargetHardware));
    EXPECT_EQ(dir.File("broken.bfw"), dialog.ControlText(kControlImageFile));
    EXPECT_FALSE(dialog.IsControlEnabled(kControlUpdate));
    EXPECT_FALSE(state.PackageLoaded);
    EXPECT_FALSE(state.Loaded);
    EXPECT_STREQ("", state.PackagePath);
    logic->OnCommand(kControlUpdate);
    EXPECT_FALSE(logic->UpdateRunning()) << "Update! with nothing accepted flashes nothing";
    EXPECT_TRUE(port->Device().State().uploadedBody.empty());

    // Cancelling the file dialog changes nothing visible.
    Select("");
    EXPECT_EQ(1u, dialog.boxes.size());
    EXPECT_EQ(dir.File("broken.bfw"), dialog.ControlText(kControlImageFile));

    Select(dir.File(std::string(300, 'x')));
    EXPECT_THAT(LastBox().text, ::testing::HasSubstr("too long"));
}

TEST_F(UpdaterDialog, FullUpdateAndWhatIsRefusedMeanwhile) {
    Attach();
    Open();
    Select(Package(2, 12, 'Q', "new.bfw"));
    port->Device().InjectFault("f.final", {sim::FaultKind::Delay, 0, 300, 1});

    logic->OnCommand(kControlUpdate);
    EXPECT_TRUE(logic->UpdateRunning());
    EXPECT_TRUE(dialog.ticking);
    EXPECT_EQ("Updating...", dialog.ControlText(kControlUpdate));
    EXPECT_EQ("Firmware Update Progress... 0%", dialog.ControlText(kControlProgressText));
    for (int id : {kControlUpdate, kControlCancel, kControlDetect, kControlBrowse,
                   kControlImageFile, kControlDiagnose})
        EXPECT_FALSE(dialog.IsControlEnabled(id)) << id;
    const size_t detections = dialog.textHistory[kControlFirmwareVersion].size();
    dialog.chooserTitle.clear();
    logic->OnCommand(kControlDetect);
    logic->OnCommand(kControlBrowse);
    logic->OnImageFileEntered();
    logic->OnCommand(kControlUpdate);
    EXPECT_EQ(detections, dialog.textHistory[kControlFirmwareVersion].size());
    EXPECT_TRUE(dialog.chooserTitle.empty()) << "no file dialog";
    // Escape (Cancel) or the close box: the update goes on, and says so.
    logic->OnCommand(kControlCancel);
    EXPECT_FALSE(logic->OnCloseRequested());
    EXPECT_EQ(-1, dialog.endedWith);
    EXPECT_EQ("The update goes on to its end; the window closes after it.",
              dialog.ControlText(kControlProgressText));

    FinishUpdate();
    ASSERT_EQ(1u, dialog.boxes.size());
    EXPECT_EQ("Update Successful. New version is 02.12.Q", LastBox().text);
    EXPECT_EQ("Success", LastBox().caption);
    EXPECT_EQ(0x40u, LastBox().icon);
    EXPECT_EQ("02.12.Q", dialog.ControlText(kControlFirmwareVersion));
    EXPECT_EQ("Quillex USB v2.12.Q", dialog.ControlText(kControlHardwareDescription));
    EXPECT_EQ("&Update!", dialog.ControlText(kControlUpdate));
    for (int id : {kControlUpdate, kControlCancel, kControlDetect, kControlBrowse,
                   kControlImageFile, kControlDiagnose})
        EXPECT_TRUE(dialog.IsControlEnabled(id)) << id;
    EXPECT_EQ(3, progress.MaxPosition()) << "the bar moved with the blocks";
    EXPECT_EQ("pos 0", progress.Calls().back());
    EXPECT_FALSE(dialog.ticking);
    EXPECT_EQ("Firmware Update Progress...", dialog.ControlText(kControlProgressText));
    // The result was shown, then the dialog ended as it had been asked to.
    EXPECT_EQ(0, dialog.endedWith);
    logic->OnDestroy();
    EXPECT_EQ(0, t.device.PortOpen);
}

TEST_F(UpdaterDialog, EveryFailureGivesItsBox) {
    Attach();
    Open();
    const std::string path = Package(2, 12, 'Q', "p.bfw");
    Select(path);
    struct Case {
        uint8_t status;
        const char* text;
        const char* caption;
    };
    const Case cases[] = {
        {'W',
         "Firmware failed during flash process.\nYou will need to cold-reboot the Quillex and "
         "try again.",
         "Flash failed"},
        {'I', "Firmware image is invalid or corrupt. (Int. CS).", "Update failed"},
        {'R', "Firmware buffering failed. You may try again. If it fails, contact support.",
         "Update failed"},
        {'E', "Firmware image is invalid or corrupt, or upload failed. (Ext. CS).",
         "Update failed"},
        {'F', "Quillex returned an invalid response.", "Update failed"},
        {'H', "Update Failed!", "Error!"},
    };
    for (const Case& c : cases) {
        sim::DeviceConfig config = port->Device().Config();
        config.finalStatus = c.status;
        port->Device().SetConfig(config);
        logic->OnCommand(kControlUpdate);
        FinishUpdate();
        // The box's own text, then what the command line says after a failure.
        EXPECT_EQ(0u,
                  LastBox().text.rfind(std::string(c.text) + "\n\nStopped at the final status", 0))
            << LastBox().text;
        EXPECT_THAT(LastBox().text, ::testing::HasSubstr("\nNext: ")) << c.status;
        EXPECT_EQ(c.caption, LastBox().caption);
        EXPECT_EQ(0x10u, LastBox().icon);
        EXPECT_TRUE(dialog.IsControlEnabled(kControlUpdate));
    }

    // The bytes checked at selection are the bytes sent: a file replaced
    // after it was selected (here by another family's package) does not
    // reach the device.
    dir.Write("p.bfw", FirmwarePackage(700, 10, 12, 'L'));
    logic->OnCommand(kControlUpdate);
    FinishUpdate();
    const std::vector<uint8_t> selected = FirmwarePackage(700, 2, 12, 'Q');
    EXPECT_EQ(std::vector<uint8_t>(selected.begin() + kPackageHeaderSize, selected.end()),
              port->Device().State().uploadedBody);
    // One whose body check byte is wrong passes selection; the upload refuses it.
    std::vector<uint8_t> bad = FirmwarePackage(99, 2, 12, 'Q');
    bad.back() ^= 1;
    RefreshHeaderSum(&bad);
    dir.Write("p.bfw", bad);
    Select(path);
    logic->OnCommand(kControlUpdate);
    FinishUpdate();
    EXPECT_EQ(
        "Invalid Image File. Firmware update not performed.\n\nStopped before anything was "
        "sent.\nThe device is untouched and keeps its old firmware.\nNext: run the update again.",
        LastBox().text);
    dir.Write("p.bfw", FirmwarePackage(99, 2, 12, 'Q'));
    Select(path);

    // Another thread holding the port past the wait.
    {
        PortLockHolder holder(t.device);
        logic->OnCommand(kControlUpdate);
        FinishUpdate();
    }
    EXPECT_EQ(0u, LastBox().text.rfind("Update Failed!\n\nStopped before anything was sent", 0))
        << LastBox().text;
    EXPECT_EQ("Error!", LastBox().caption);
    EXPECT_TRUE(dialog.IsControlEnabled(kControlCancel));
}

TEST_F(UpdaterDialog, DetectAfterTheDeviceWentAway) {
    Attach();
    Open();
    Select(Package(2, 12, 'Q', "p.bfw"));
    ASSERT_TRUE(dialog.IsControlEnabled(kControlUpdate));
    t.device.ClosePort();
    port.reset();  // unplugged
    ScopedPortTable none({});
    logic->OnCommand(kControlDetect);
    EXPECT_EQ("Not Found", dialog.ControlText(kControlFirmwareVersion));
    EXPECT_EQ("Not Found", dialog.ControlText(kControlHardwareDescription));
    EXPECT_TRUE(dialog.IsControlEnabled(kControlUpdate)) << "not disabled by a failed detection";
    logic->OnCommand(kControlUpdate);
    FinishUpdate();
    EXPECT_EQ(0u, LastBox().text.rfind("Update Failed!\n\nStopped before anything was sent", 0))
        << LastBox().text;
}

TEST_F(UpdaterDialog, NoWorkerThreadComesBackWithAFailure) {
    MakeLogic([](std::function<void()>) { return false; });
    Attach();
    Open();
    Select(Package(2, 12, 'Q', "p.bfw"));
    logic->OnCommand(kControlUpdate);
    EXPECT_FALSE(logic->UpdateRunning());
    EXPECT_EQ("Update Failed!", LastBox().text);
    EXPECT_EQ("&Update!", dialog.ControlText(kControlUpdate));
    EXPECT_TRUE(dialog.IsControlEnabled(kControlUpdate));
    EXPECT_TRUE(dialog.IsControlEnabled(kControlCancel));
}

TEST_F(UpdaterDialog, SuccessWithoutTheDeviceFoundAgainDoesNotClaimTheOldVersion) {
    Attach();
    Open();
    // An image whose stamp makes the device report a letter no family has.
    Select(dir.Write("odd.bfw", BuildPackage(MakeFirmwarePayload(500, 9, 9, 'X'), 2, 12, 'Q')));
    logic->OnCommand(kControlUpdate);
    FinishUpdate();
    EXPECT_EQ("Update Successful. New version is unknown (the device was not found again).",
              LastBox().text);
    EXPECT_EQ("02.11.Q", dialog.ControlText(kControlFirmwareVersion)) << "fields keep their texts";
}

TEST_F(UpdaterDialog, APackageGivenBeforehandIsSelectedAsBrowseWould) {
    Attach();
    ASSERT_TRUE(logic->OnInitDialog());
    logic->SelectPackage(Package(2, 12, 'Q', "given.bfw"));
    EXPECT_EQ(dir.File("given.bfw"), dialog.ControlText(kControlImageFile));
    EXPECT_EQ("2.12.Q", dialog.ControlText(kControlUpdateVersion));
    EXPECT_FALSE(dialog.IsControlEnabled(kControlUpdate)) << "nothing detected yet";
    logic->OnMessage(WM_DETECT_HARDWARE, 0, 0);
    EXPECT_TRUE(dialog.IsControlEnabled(kControlUpdate)) << "the detection decides";
    EXPECT_EQ(kControlUpdate, dialog.focused) << "the keyboard starts on Update!";
    EXPECT_EQ(0, port->Device().State().uploadsCompleted) << "Update! stays the user's";

    logic->SelectPackage(dir.File("missing.bfw"));
    EXPECT_EQ("Invalid Firmware Package\n\nmissing.bfw: no such file.", LastBox().text);
    EXPECT_FALSE(state.PackageLoaded);
}

// The command line's version policy in the dialog: the device's own version
// or an older one is flashed only when the user says Yes (No is the
// default); a newer one is not asked about.
TEST_F(UpdaterDialog, SameOrOlderVersionIsAskedAboutAndNoSendsNothing) {
    struct Case {
        uint8_t major, minor;  // the package's; the device runs 2.11.Q
        bool answer;
        const char* question;  // "" when none is asked
        bool flashed;
    };
    const Case cases[] = {
        {2, 11, false, "The device already has 02.11.Q. Flash it again?", false},
        {2, 10, false, "02.10.Q is older than the device's 02.11.Q. Flash the older firmware?",
         false},
        {2, 11, true, "The device already has 02.11.Q. Flash it again?", true},
        {2, 12, false, "", true},
    };
    for (const Case& c : cases) {
        t.device.ClosePort();
        port.reset();
        Attach();
        if (dialog.posted.empty())
            Open();
        else
            logic->OnMessage(WM_DETECT_HARDWARE, 0, 0);
        dialog.questions.clear();
        dialog.answer = c.answer;
        Select(Package(c.major, c.minor, 'Q', "p" + std::to_string(c.minor) + ".bfw"));
        ASSERT_TRUE(dialog.IsControlEnabled(kControlUpdate)) << c.question;
        logic->OnCommand(kControlUpdate);
        if (*c.question == '\0') {
            EXPECT_TRUE(dialog.questions.empty());
        } else {
            ASSERT_EQ(1u, dialog.questions.size());
            EXPECT_EQ(c.question, dialog.questions[0].text);
        }
        EXPECT_EQ(c.flashed, logic->UpdateRunning()) << c.question;
        FinishUpdate();
        bool uploaded = false;
        for (const std::vector<uint8_t>& request : RequestsOf(port->Device()))
            uploaded = uploaded || (!request.empty() && request[0] == 'f');
        EXPECT_EQ(c.flashed, uploaded) << c.question;
        EXPECT_TRUE(dialog.IsControlEnabled(kControlUpdate)) << "the pick stays flashable";
    }
}

// A path typed or pasted into the Image File field is checked on Enter, as
// Browse would check it, and never flashed by it; an edit that leaves the
// checked path leaves nothing to flash.
TEST_F(UpdaterDialog, ATypedPathIsCheckedOnEnterAndAnEditForgetsThePick) {
    Attach();
    Open();
    const std::string good = Package(2, 12, 'Q', "typed.bfw");
    dialog.SetControlText(kControlImageFile, good);
    logic->OnImageFileEdited();
    logic->OnImageFileEntered();
    EXPECT_EQ("2.12.Q", dialog.ControlText(kControlUpdateVersion));
    EXPECT_TRUE(dialog.IsControlEnabled(kControlUpdate));
    EXPECT_FALSE(logic->UpdateRunning()) << "Enter checks, it does not flash";

    dialog.SetControlText(kControlImageFile, good + "x");
    logic->OnImageFileEdited();
    EXPECT_FALSE(dialog.IsControlEnabled(kControlUpdate));
    EXPECT_FALSE(state.Loaded);
    EXPECT_EQ("Unknown", dialog.ControlText(kControlUpdateVersion));
    logic->OnCommand(kControlUpdate);
    EXPECT_FALSE(logic->UpdateRunning());

    dialog.SetControlText(kControlImageFile, "");
    logic->OnImageFileEntered();
    EXPECT_TRUE(dialog.boxes.empty()) << "an empty field is not a file";
}

// The line under the title during an upload: percent and time left from the
// blocks taken so far, and a device silent for 5 s said to be so; the bar
// gets every step.
TEST(UploadProgressLine, PercentTimeLeftAndASilentDevice) {
    using namespace std::chrono_literals;
    using Clock = UploadProgressLine::Clock;
    RecordingProgressBar bar;
    UploadProgressLine line(&bar);
    const Clock::time_point start = Clock::now() - 10s;
    EXPECT_EQ("Firmware Update Progress...", line.Text(start));
    line.Begin(1000, start);
    line.SetRange(0, 4);
    line.SetStep(1);
    line.SetPosition(0);
    EXPECT_EQ("Firmware Update Progress... 0%", line.Text(start));
    line.StepIt();  // a quarter in 10 s: 30 s to go
    const Clock::time_point stepped = Clock::now();
    struct Case {
        Clock::duration after;  // the last block
        const char* text;
    };
    const Case cases[] = {
        {0s, "Firmware Update Progress... 25%, 30 s left"},
        {4900ms, "Firmware Update Progress... 25%, 30 s left"},
        {5s, "No answer from the device for 5 s"},
        {12500ms, "No answer from the device for 12 s"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.text, line.Text(stepped + c.after)) << c.text;
    for (int i = 0; i < 4; ++i)
        line.StepIt();  // the last part-block steps past the end
    EXPECT_EQ("Firmware Update Progress... 100%", line.Text(Clock::now()));
    line.SetPosition(0);  // the bar emptied at the end is not progress lost
    EXPECT_EQ(100, line.Percent());
    line.End();
    EXPECT_EQ("Firmware Update Progress...", line.Text(Clock::now()));
    EXPECT_EQ(5, bar.MaxPosition());
    EXPECT_EQ("pos 0", bar.Calls().back());
}

// Diagnose: where the device is looked for when none answered, then the
// machine check of 'brevik doctor' with each port searched.
TEST_F(UpdaterDialog, DiagnoseSaysWhereToLookAndWhatTheMachineCheckFound) {
    {
        ScopedPortTable none({});
        Open();
        logic->OnCommand(kControlDiagnose);
        ASSERT_EQ(1u, dialog.boxes.size());
        EXPECT_EQ("Device Check", LastBox().caption);
        EXPECT_EQ(0u, LastBox().text.rfind("No device answered. Plug the device in", 0))
            << LastBox().text;
        EXPECT_THAT(LastBox().text, ::testing::HasSubstr("No serial ports"));
    }
    Attach();
    logic->OnCommand(kControlDetect);
    logic->OnCommand(kControlDiagnose);
    ASSERT_EQ(2u, dialog.boxes.size());
    EXPECT_EQ(std::string::npos, LastBox().text.find("No device answered")) << LastBox().text;
    EXPECT_THAT(LastBox().text,
                ::testing::HasSubstr("COM1 " + platform::PortTable::List().at(0).path + ": "));
    EXPECT_EQ(0, t.device.PortOpen) << "the check tries the port as any other";
}

// Several devices answering: the user picks one from a list (port, firmware),
// the pick is shown with its port and kept for the next detection; none
// picked leaves nothing to update. A port chosen beforehand (as --port)
// looks at that port alone. One device is taken without a question.
TEST_F(UpdaterDialog, SeveralDevicesAreChosenFromAListAndThePortIsShown) {
    sim::DeviceConfig newer;
    newer.minor = 12;
    sim::VirtualDevice first, second(newer);
    ASSERT_TRUE(first.Start() && second.Start());
    auto silent = sim::CreateDeviceLine();
    ScopedPortTable table({silent->HostPath(), first.PortPath(), second.PortPath()});

    dialog.pick = -1;
    Open();
    ASSERT_EQ(1u, dialog.lists.size());
    EXPECT_EQ("Choose Device", dialog.lists[0].title);
    ASSERT_EQ(2u, dialog.lists[0].entries.size());
    EXPECT_EQ("COM2 (" + first.PortPath() + "): Quillex USB v2.11.Q, firmware 02.11.Q",
              dialog.lists[0].entries[0]);
    EXPECT_EQ("Not Found", dialog.ControlText(kControlFirmwareVersion));
    EXPECT_EQ("Several devices; none chosen", dialog.ControlText(kControlPort));
    Select(Package(2, 13, 'Q', "q.bfw"));
    EXPECT_FALSE(dialog.IsControlEnabled(kControlUpdate));

    dialog.pick = 1;
    logic->OnCommand(kControlDetect);
    EXPECT_EQ(2u, dialog.lists.size());
    EXPECT_EQ("02.12.Q", dialog.ControlText(kControlFirmwareVersion));
    EXPECT_EQ("COM3 (" + second.PortPath() + ")", dialog.ControlText(kControlPort));
    EXPECT_TRUE(dialog.IsControlEnabled(kControlUpdate));
    logic->OnCommand(kControlDetect);
    EXPECT_EQ(2u, dialog.lists.size()) << "the pick stands while its device answers";
    EXPECT_EQ("COM3 (" + second.PortPath() + ")", dialog.ControlText(kControlPort));
    logic->OnCommand(kControlUpdate);
    FinishUpdate();
    EXPECT_EQ("Update Successful. New version is 02.13.Q", LastBox().text);
    EXPECT_EQ(0, first.State().uploadsCompleted) << "the other device is untouched";

    logic->SetPortChoice("COM2");
    logic->OnCommand(kControlDetect);
    EXPECT_EQ(2u, dialog.lists.size()) << "one port named: no question";
    EXPECT_EQ("02.11.Q", dialog.ControlText(kControlFirmwareVersion));
    EXPECT_EQ("COM2 (" + first.PortPath() + ")", dialog.ControlText(kControlPort));
}

// The package policy holds in the dialog as on the command line: a package
// it keeps off every device is refused with its reason, and nothing of it
// can be flashed; a signed one goes through.
TEST_F(UpdaterDialog, APackageThePolicyKeepsOffIsRefusedWithItsReason) {
    std::filesystem::create_directories(dir.File("etc/keys"));
    std::ofstream(dir.File("etc/config")) << "signatures = \"require\"\n";
    std::ofstream(dir.File("etc/keys/maker.pem")) << fixtures::kMakerKey;
    Attach();
    Open();
    const std::string unsigned_ = dir.Write("unsigned.bfw", fixtures::SignedPackage());
    Select(unsigned_);
    ASSERT_EQ(1u, dialog.boxes.size());
    EXPECT_EQ(
        "Firmware Package Not Trusted\n\nunsigned.bfw: the package is not signed, and "
        "signatures are required (no " +
            unsigned_ + ".sig).",
        LastBox().text);
    EXPECT_EQ("Not signed", dialog.ControlText(kControlSignature));
    EXPECT_FALSE(dialog.IsControlEnabled(kControlUpdate));
    EXPECT_FALSE(state.Loaded);

    const std::string signed_ = dir.Write("signed.bfw", fixtures::SignedPackage());
    const std::vector<uint8_t> signature = fixtures::MakerSignature();
    std::ofstream(signed_ + ".sig", std::ios::binary)
        .write(reinterpret_cast<const char*>(signature.data()),
               static_cast<std::streamsize>(signature.size()));
    Select(signed_);
    EXPECT_EQ("Signed by maker, key 6DAB376D", dialog.ControlText(kControlSignature));
    EXPECT_EQ(1u, dialog.boxes.size());
    EXPECT_TRUE(dialog.IsControlEnabled(kControlUpdate));
    EXPECT_TRUE(state.Loaded);
}
