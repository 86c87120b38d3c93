// The launcher's binding callbacks driven by a script (a moniker whose binding
// stays under way, then the callbacks called directly as the binding would),
// and the advise protocol with the main plugin on top of them.
#include "launcher_fixture.h"

#include "support/doc_server.h"

#include <docobj.h>

using namespace gntest;

namespace {

const wchar_t kUrl[] = L"http://127.0.0.1/scripted/doc.dzy";

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

class Scripted : public LauncherTest {
protected:
    gn::com_ptr<IUnknown> launcher;
    gn::com_ptr<IBindStatusCallback> bsc;

    // A launcher whose Load started a binding that is still under way.
    void load(const wchar_t* mime = L"application/x-quorquery") {
        launcher = create_launcher();
        auto moniker = FakeMoniker::make(kUrl, MK_S_ASYNCHRONOUS);
        ASSERT_EQ(S_OK, load_moniker(launcher.get(), moniker.get(), mime));
        ASSERT_EQ(1, moniker->bind_calls);
        bsc = gn::try_query<IBindStatusCallback>(launcher.get());
        ASSERT_TRUE(bsc);
    }
    void start() {
        load();
        ASSERT_EQ(S_OK, bsc->OnStartBinding(0, nullptr));
    }
    HRESULT deliver(IStream* stream) {
        FORMATETC format{0, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
        STGMEDIUM medium{};
        medium.tymed = TYMED_ISTREAM;
        medium.pstm = stream;
        return bsc->OnDataAvailable(BSCF_FIRSTDATANOTIFICATION, 0, &format, &medium);
    }
    // A complete download of n bytes ending in success.
    void download(ULONG n) {
        start();
        auto stream = ScriptedStream::make({{n, S_FALSE}});
        ASSERT_EQ(S_OK, deliver(stream.get()));
        ASSERT_EQ(S_OK, bsc->OnStopBinding(S_OK, nullptr));
    }
    void release() {
        bsc.reset();
        launcher.reset();
    }
    HRESULT advise(TestSink* sink) { return LauncherTest::advise(launcher.get(), sink); }
};

}  // namespace

// ---------------------------------------------------------------------------
// The transfer

TEST_F(Scripted, StreamIsDrainedInReadsOf8192Bytes) {
    start();
    auto sink = TestSink::make();
    ASSERT_EQ(S_OK, advise(sink.get()));

    // 20000 bytes ready at one notification, then E_PENDING.
    auto first = ScriptedStream::make({{8192, S_OK}, {8192, S_OK}, {3616, S_OK}});
    EXPECT_EQ(S_OK, deliver(first.get()));
    EXPECT_EQ((std::vector<ULONG>{8192, 8192, 8192, 8192}), first->requested);
    EXPECT_EQ((std::vector<ULONG>{8192, 8192, 3616, 0}), first->returned);

    // The last portion comes with S_FALSE: written, and no further read.
    auto last = ScriptedStream::make({{5000, S_FALSE}, {100, S_OK}});
    last->offset = 20000;
    EXPECT_EQ(S_OK, deliver(last.get()));
    EXPECT_EQ((std::vector<ULONG>{8192}), last->requested);

    EXPECT_TRUE(sink->calls.empty());
    EXPECT_EQ(S_OK, bsc->OnStopBinding(S_OK, nullptr));
    ASSERT_EQ(1u, sink->calls.size());
    ASSERT_EQ(SinkCall::DataAvailable, sink->calls[0].kind);
    EXPECT_EQ(25000u, sink->calls[0].contents.size());
    EXPECT_TRUE(DocServer::body_matches(sink->calls[0].contents));
    release();
}

TEST_F(Scripted, OtherMediaAndMissingFileAreHandled) {
    load();
    // No binding started: no file to write to.
    auto stream = ScriptedStream::make({{10, S_FALSE}});
    EXPECT_EQ(E_FAIL, deliver(stream.get()));

    ASSERT_EQ(S_OK, bsc->OnStartBinding(0, nullptr));
    STGMEDIUM global{};
    global.tymed = TYMED_HGLOBAL;
    EXPECT_EQ(S_OK, bsc->OnDataAvailable(BSCF_FIRSTDATANOTIFICATION, 0, nullptr, &global));
    EXPECT_EQ(S_OK, bsc->OnDataAvailable(BSCF_FIRSTDATANOTIFICATION, 0, nullptr, nullptr));
    // A stream that claims more than it was asked for is held to the buffer.
    auto liar = ScriptedStream::make({{8192, S_FALSE}});
    liar->claim_extra = 100000;
    EXPECT_EQ(S_OK, deliver(liar.get()));
    auto sink = TestSink::make();
    ASSERT_EQ(S_OK, advise(sink.get()));
    EXPECT_EQ(S_OK, bsc->OnStopBinding(S_OK, nullptr));
    ASSERT_EQ(1u, sink->calls.size());
    EXPECT_EQ(8192u, sink->calls[0].file_size);
    release();
}

TEST_F(Scripted, ProgressMaximumCatchesAShortTransfer) {
    start();
    auto sink = TestSink::make();
    ASSERT_EQ(S_OK, advise(sink.get()));
    EXPECT_EQ(S_OK, bsc->OnProgress(0, 50000, BINDSTATUS_BEGINDOWNLOADDATA, L"text/plain"));
    EXPECT_EQ(S_OK, bsc->OnProgress(20000, 50000, BINDSTATUS_ENDDOWNLOADDATA, nullptr));
    auto stream = ScriptedStream::make({{8192, S_OK}, {8192, S_OK}, {3616, S_FALSE}});
    EXPECT_EQ(S_OK, deliver(stream.get()));
    EXPECT_EQ(S_OK, bsc->OnStopBinding(S_OK, nullptr));
    ASSERT_EQ(1u, sink->calls.size());
    EXPECT_EQ(SinkCall::Abort, sink->calls[0].kind);
    EXPECT_EQ(INET_E_DOWNLOAD_FAILURE, sink->calls[0].hr);
    EXPECT_EQ(L"Incomplete download: 20000 of 50000 bytes", sink->calls[0].error);
    release();
}

TEST_F(Scripted, SuccessWithoutACreatedFileEndsFailed) {
    load();
    set_temp_dir("C:\\no such directory\\anywhere\\");
    EXPECT_EQ(E_FAIL, bsc->OnStartBinding(0, nullptr));
    set_temp_dir(temp_dir);
    EXPECT_EQ(S_OK, bsc->OnStopBinding(S_OK, nullptr));
    auto sink = TestSink::make();
    ASSERT_EQ(S_OK, advise(sink.get()));
    ASSERT_EQ(1u, sink->calls.size());
    EXPECT_EQ(SinkCall::Abort, sink->calls[0].kind);
    EXPECT_EQ(E_FAIL, sink->calls[0].hr) << "a failure is never reported with a success code";
    EXPECT_EQ(L"Failed to create temp file", sink->calls[0].error);
    release();
}

// A binding that started, then failed inside BindToStorage, is let go of:
// closing the view later aborts nothing and keeps the plugin's subscription.
TEST_F(Scripted, BindingThatFailedToStartIsLetGo) {
    launcher = create_launcher();
    auto sink = TestSink::make();
    ASSERT_EQ(S_OK, advise(sink.get()));
    auto moniker = FakeMoniker::make(kUrl, INET_E_CANNOT_CONNECT);
    moniker->start = true;
    ASSERT_EQ(S_OK, load_moniker(launcher.get(), moniker.get()));
    ASSERT_EQ(S_OK, gn::try_query<IOleDocumentView>(launcher.get())->SetInPlaceSite(nullptr));
    EXPECT_EQ(0, moniker->aborts);
    EXPECT_EQ(2u, sink->refs()) << "the subscription stays";
    release();
}

TEST_F(Scripted, BindingErrorTextFollowsEarlierText) {
    start();
    auto stream = ScriptedStream::make({{1000, S_OK}});
    EXPECT_EQ(S_OK, deliver(stream.get()));
    EXPECT_EQ(S_OK, bsc->OnStopBinding(E_ABORT, L"Binding aborted"));
    EXPECT_TRUE(dz_files().empty()) << "a failed download deletes its file at once";

    // A second binding of the same launcher starts afresh, then fails at start.
    set_temp_dir("C:\\no such directory\\");
    EXPECT_EQ(E_FAIL, bsc->OnStartBinding(0, nullptr));
    set_temp_dir(temp_dir);
    EXPECT_EQ(S_OK, bsc->OnStopBinding(E_FAIL, L"Callback refused"));
    auto sink = TestSink::make();
    ASSERT_EQ(S_OK, advise(sink.get()));
    ASSERT_EQ(1u, sink->calls.size());
    EXPECT_EQ(E_FAIL, sink->calls[0].hr);
    EXPECT_EQ(L"Failed to create temp file Callback refused", sink->calls[0].error);
    release();
}

// ---------------------------------------------------------------------------
// The advise protocol

TEST_F(Scripted, SubscriberIsCalledOnceFromTheEndOfTheDownload) {
    reload_with_log();
    start();
    auto sink = TestSink::make();
    sink->result = E_FAIL;  // the sink's result changes nothing
    ASSERT_EQ(S_OK, advise(sink.get()));
    EXPECT_TRUE(sink->calls.empty());
    auto stream = ScriptedStream::make({{3000, S_FALSE}});
    ASSERT_EQ(S_OK, deliver(stream.get()));
    ASSERT_EQ(S_OK, bsc->OnStopBinding(S_OK, nullptr));

    ASSERT_EQ(1u, sink->calls.size());
    const SinkCall& call = sink->calls[0];
    EXPECT_EQ(SinkCall::DataAvailable, call.kind);
    EXPECT_EQ(kUrl, call.url);
    EXPECT_EQ(L"application/x-quorquery", call.mime);
    EXPECT_EQ(temp_name(GetCurrentProcessId()), narrow(call.path));
    EXPECT_TRUE(call.file_existed);
    EXPECT_EQ(3000u, call.contents.size());
    EXPECT_EQ(1u, sink->refs());
    EXPECT_TRUE(dz_files().empty());
    release();

    const std::string log = finish_log();
    const std::string path = temp_name(GetCurrentProcessId());
    const std::vector<std::string> lines = {
         std::string("IPersistMoniker::Load() invoked"),
          "Gotten Url: http://127.0.0.1/scripted/doc.dzy",
          std::string("IBindStatusCallback::OnStartBinding() invoked"),
          "Creating temp file: " + path, std::string("OnStopBinding: Data downloaded successfully"),
          "Calling back the main plugin: ILauncherEvent::OnDZxDataAvailable(): URL: "
          "http://127.0.0.1/scripted/doc.dzy, DZY: " +
              path + ", Mime: application/x-quorquery",
          "Removing temp file: " + path};
    for (const std::string& line : lines)
        EXPECT_NE(std::string::npos, log.find(line)) << line;
}

TEST_F(Scripted, LateSubscriberGetsTheFileOnceAndThenTheSameAnswer) {
    reload_with_log();
    download(4000);
    EXPECT_EQ(1u, dz_files().size()) << "no subscriber yet: the file waits";

    auto first = TestSink::make();
    ASSERT_EQ(S_OK, advise(first.get()));
    ASSERT_EQ(1u, first->calls.size());
    EXPECT_TRUE(first->calls[0].file_existed);
    EXPECT_EQ(4000u, first->calls[0].contents.size());
    EXPECT_TRUE(dz_files().empty());

    // A second subscription hears the same answer; the file is gone by then.
    auto second = TestSink::make();
    ASSERT_EQ(S_OK, advise(second.get()));
    ASSERT_EQ(1u, second->calls.size());
    EXPECT_EQ(first->calls[0].url, second->calls[0].url);
    EXPECT_EQ(first->calls[0].path, second->calls[0].path);
    EXPECT_FALSE(second->calls[0].file_existed);
    release();

    const std::string log = finish_log();
    EXPECT_EQ(1u, count(log, "Removing temp file: "));
    EXPECT_EQ(0u, count(log, "Temp file does not exist"));
}

// A copy the plugin leaves read-only, or still holds open without delete
// sharing when its call returns: tried again at the launcher's release and
// at unload; one held even then is left on disk, and the log says so.
TEST_F(Scripted, CopyThePluginKeepsIsRemovedLater) {
    enum Until { Call, Release, Unload, Never };
    const struct {
        bool read_only;
        Until held;
        size_t left_at_release, left_at_unload;
    } rows[] = {{true, Call, 0, 0}, {false, Release, 0, 0}, {false, Unload, 1, 0}, {false, Never, 1, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.held);
        reload_with_log();
        download(100);
        HANDLE held = INVALID_HANDLE_VALUE;
        auto sink = TestSink::make();
        sink->during_call = [&](TestSink& s) {
            const std::wstring path = s.calls.back().path;
            if (row.read_only)
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
            else
                held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   0, nullptr);
        };
        ASSERT_EQ(S_OK, advise(sink.get()));
        if (row.held == Release) CloseHandle(held);
        release();
        EXPECT_EQ(row.left_at_release, dz_files().size());
        if (row.held == Unload) CloseHandle(held);
        const std::string log = finish_log();
        EXPECT_EQ(row.left_at_unload, dz_files().size());
        EXPECT_EQ(row.held == Never ? 1u : 0u,
                  count(log, "Temp file still held by another program, left on disk: "));
        if (row.held == Never) CloseHandle(held);
        for (const std::string& name : dz_files()) DeleteFileA((temp_dir + name).c_str());
    }
}

TEST_F(Scripted, NullSubscriptionLeavesTheFileToTheLauncher) {
    reload_with_log();
    download(100);
    ASSERT_EQ(S_OK, advise(nullptr));
    EXPECT_EQ(1u, dz_files().size());
    release();  // the launcher's end deletes it
    EXPECT_TRUE(dz_files().empty());
    EXPECT_NE(std::string::npos, finish_log().find("Removing temp file: "));
}

TEST_F(Scripted, ReplacedSubscriberIsReleasedUncalled) {
    start();
    Expectations none, expected;
    auto replaced = TestSink::make();
    auto current = TestSink::make();
    replaced->expected = &none;  // any call fails at once
    current->expected = &expected;
    expected.expect("OnAbort");
    ASSERT_EQ(S_OK, advise(replaced.get()));
    EXPECT_EQ(2u, replaced->refs());
    ASSERT_EQ(S_OK, advise(current.get()));
    EXPECT_EQ(1u, replaced->refs());
    ASSERT_EQ(S_OK, bsc->OnStopBinding(E_ABORT, nullptr));
    expected.check_called();
    ASSERT_EQ(1u, current->calls.size());
    EXPECT_EQ(E_ABORT, current->calls[0].hr);
    EXPECT_EQ(L"Download cancelled", current->calls[0].error) << "a failure always says why";
    release();
}

TEST_F(Scripted, SubscriberMaySubscribeAgainFromItsCall) {
    download(500);
    auto sink = TestSink::make();
    IUnknown* self = launcher.get();
    bool again = true;
    bool kept = false;
    sink->during_call = [&](TestSink& s) {
        if (!again) return;
        again = false;
        LauncherTest::advise(self, &s);
        kept = GetFileAttributesW(s.calls[0].path.c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    Expectations expected;
    expected.expect("OnDZxDataAvailable", 2);
    sink->expected = &expected;
    ASSERT_EQ(S_OK, advise(sink.get()));
    expected.check_called();
    ASSERT_EQ(2u, sink->calls.size());
    EXPECT_TRUE(sink->calls[0].file_existed);
    EXPECT_TRUE(kept) << "the file went while the outer call still read it";
    EXPECT_EQ(500u, sink->calls[0].contents.size());
    EXPECT_EQ(1u, sink->refs());
    release();
}

TEST_F(Scripted, NavigateWithoutAServiceProviderDoesNothing) {
    reload_with_log();
    load();
    auto adv = gn::try_query<ILauncherAdvise>(launcher.get());
    ASSERT_TRUE(adv);
    auto url = gn::unique_bstr::copy_of(L"http://127.0.0.1/elsewhere");
    EXPECT_EQ(S_OK, adv->Navigate(url.get(), nullptr, nullptr, nullptr, nullptr));
    adv.reset();
    release();
    const std::string log = finish_log();
    EXPECT_NE(std::string::npos, log.find("Main plugin called us: ILauncherAdvise::Navigate()"));
    EXPECT_NE(std::string::npos,
              log.find("ILauncherAdvise::GetURL() *** IWebBrowser2 interface is not supported by IE"));
}

// ---------------------------------------------------------------------------
// IPersistMoniker, IMonikerProp and the fixed answers

TEST_F(Scripted, PersistenceAnswers) {
    auto launcher = create_launcher(gn::CLSID_MorvaneLauncherData);
    auto persist = gn::try_query<IPersistMoniker>(launcher.get());
    ASSERT_TRUE(persist);
    CLSID clsid{};
    EXPECT_EQ(S_OK, persist->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_MorvaneLauncher, clsid));
    EXPECT_EQ(E_FAIL, persist->GetClassID(nullptr));
    EXPECT_EQ(S_FALSE, persist->IsDirty());
    EXPECT_EQ(E_FAIL, persist->Load(FALSE, nullptr, nullptr, 0));
    EXPECT_EQ(S_OK, persist->Save(nullptr, nullptr, TRUE));
    EXPECT_EQ(S_OK, persist->SaveCompleted(nullptr, nullptr));
    IMoniker* cur = nullptr;
    EXPECT_EQ(E_NOTIMPL, persist->GetCurMoniker(&cur));

    auto callback = gn::try_query<IBindStatusCallback>(launcher.get());
    ASSERT_TRUE(callback);
    DWORD flags = 0;
    BINDINFO info;
    memset(&info, 0xCD, sizeof info);
    info.cbSize = sizeof info;
    EXPECT_EQ(S_OK, callback->GetBindInfo(&flags, &info));
    EXPECT_EQ(0x81u, flags);
    EXPECT_EQ(0xCDCDCDCDu, info.dwBindVerb) << "the bind information stays as passed";
    EXPECT_EQ(S_OK, callback->GetPriority(nullptr));
    EXPECT_EQ(S_OK, callback->OnLowResource(0));
    EXPECT_EQ(S_OK, callback->OnObjectAvailable(IID_IUnknown, nullptr));
}

TEST_F(Scripted, OnlyTheMimeTypePropertyIsKept) {
    load(nullptr);
    auto prop = gn::try_query<IMonikerProp>(launcher.get());
    EXPECT_EQ(S_OK, prop->PutProperty(MIMETYPEPROP, L"application/x-quorquerydata"));
    EXPECT_EQ(S_OK, prop->PutProperty(USE_SRC_URL, L"1"));
    EXPECT_EQ(S_OK, prop->PutProperty(CLASSIDPROP, L"{00000000-0000-0000-0000-000000000000}"));
    ASSERT_EQ(S_OK, bsc->OnStartBinding(0, nullptr));
    ASSERT_EQ(S_OK, bsc->OnStopBinding(S_OK, nullptr));
    auto sink = TestSink::make();
    ASSERT_EQ(S_OK, advise(sink.get()));
    ASSERT_EQ(1u, sink->calls.size());
    EXPECT_EQ(L"application/x-quorquerydata", sink->calls[0].mime);
    EXPECT_EQ(0u, sink->calls[0].file_size) << "an empty document is still a document";
    prop.reset();
    release();
}

TEST_F(Scripted, MonikerWithoutADisplayNameStillDownloads) {
    launcher = create_launcher();
    auto moniker = FakeMoniker::make(L"", MK_S_ASYNCHRONOUS);
    moniker->name_result = E_OUTOFMEMORY;
    ASSERT_EQ(S_OK, load_moniker(launcher.get(), moniker.get(), nullptr));
    EXPECT_EQ(1, moniker->bind_calls);
    bsc = gn::try_query<IBindStatusCallback>(launcher.get());
    ASSERT_EQ(S_OK, bsc->OnStartBinding(0, nullptr));
    ASSERT_EQ(S_OK, bsc->OnStopBinding(S_OK, nullptr));
    auto sink = TestSink::make();
    ASSERT_EQ(S_OK, advise(sink.get()));
    ASSERT_EQ(1u, sink->calls.size());
    EXPECT_TRUE(sink->calls[0].url_null);
    EXPECT_TRUE(sink->calls[0].mime_null);
    release();
}
