// The main window of the browser: the canvas, the time and plane controls,
// the command tabs, and every state member the browser's commands work on.
#pragma once

#include "OXEL_pos"
#include "OXEL_roi"
#include "canvas_view.h"
#include "file_chooser.h"
#include "review.h"
#include "split.h"
#include "curation.h"
#include "tracking.h"
#include "unit_options.h"

#include <QColor>
#include <QCursor>
#include <QElapsedTimer>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional> // std::function
#include <list>
#include <map>
#include <memory> // std::unique_ptr
#include <set>
#include <string>
#include <vector>

class QApplication;
class QUndoStack;
class QCloseEvent;
class QShowEvent;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMouseEvent;
class QPaintEvent;
class QProgressBar;
class QPushButton;
class QResizeEvent;
class QScrollBar;
class QSlider;
class QTabWidget;
class QWheelEvent;
class ImageDB;
class LineageTreeWindow;
class q_roiimgdb;
class recovery;
class roidb_plus;

namespace Ui {
class OXELBrowser;
}

class OXELBrowser : public QWidget {
    Q_OBJECT

public:
    OXELBrowser(QWidget *parent = nullptr, const char *name = nullptr,
                Qt::WindowFlags fl = Qt::WindowFlags());
    ~OXELBrowser() override;

    virtual bool reach(std::string a, std::string b);
    virtual int z_min(std::string unit);
    virtual int z_max(std::string unit);
    virtual std::string xyROI(int image_x, int image_y);
    virtual std::string make_img_base(std::string name);
    virtual std::string digit3(int a);
    virtual bool loadConfigFile();
    virtual bool isSelected(std::string key);
    virtual bool isFwdTracked(std::string key);
    virtual bool isBwdTracked(std::string key);
    virtual std::string head(roi r);
    virtual std::string head(std::string key);
    virtual std::set<std::string> member(std::string key);
    virtual std::set<std::string> units(int t);
    virtual std::set<std::string> parents(std::string key);
    virtual std::set<std::string> children(std::string key);
    virtual std::set<std::string> upstream_units(std::string key, int end_t);
    virtual std::set<std::string> subset_of_unit_from(std::string key);
    virtual std::set<std::string> subset_of_elite_unit_from(std::string key);
    virtual pos3d g(std::string key);
    virtual pos3d E_g(std::string key);
    virtual unsigned int cross_section_size(std::string doubt, pos3d E_normal, pos3d E_pos,
                                            bool &plus, bool &minus);
    virtual pos3d search_cutting_position(std::string doubt, pos3d E_normal, pos3d E_pos,
                                          int SEARCH_WIDTH);
    virtual int ID(std::string a);
    virtual bool isLink(std::string parent, std::string child);
    virtual bool isElite(std::string key);

    // The outline program's seam for the split, so that tests can fail it.
    void setOutlineTracer(split::tracer tracer) { m_outline_tracer = std::move(tracer); }
    // Undo and redo: one command per user action that changes the ROIs, the
    // false-positive marks or the lineage.
    QUndoStack *undoStack() const { return m_undo; }
    void undo();
    void redo();
    // Whether the ROIs, the false-positive marks or the lineage (file_part
    // bits) changed since they were last read or saved.
    bool unsaved(unsigned parts) const;
    // Units dismissed from the review queue.
    const std::set<std::string> &dismissedUnits() const { return m_dismissed_units; }
    // The memory the undo history may keep before its oldest steps go.
    void setUndoLimit(size_t bytes) { m_undo_limit = bytes; }
    size_t undoBytes() const { return m_undo_bytes; }
    // "Read Lineage" and "Save Lineage": units, links, elite and dismissed
    // marks as a file; a read replaces the lineage as one undoable step.
    void readLineageFile();
    bool saveLineageFile();
    // "Save ROIs" once its button is pressed; true when the file was written.
    bool saveRoiFile();
    // Before unsaved work would be lost by action: asks whether to save it,
    // discard it or cancel; false when the action is not to go on.
    bool keepUnsavedWork(const QString &action);
    // Dialogs go through this seam, so that tests can answer them.
    void setFileChooser(std::unique_ptr<FileChooser> chooser);
    // Opens a ROI file as "Read ROIs" does once its dialog has answered.
    void readRoiFile(const QString &name);
    // Whether a long operation is running (commands that would change the
    // data under it are ignored meanwhile).
    bool busy() const { return m_busy; }
    // The rendered canvas (for inspection).
    const QPixmap &canvasPixmap() const { return m_pix; }
    // Groups each object's ROIs of every time point into a unit, then links
    // each time point to the one before ("Make units", key U).
    void makeUnits();
    // Links the units of the current time point to the one before (key K).
    void linkCurrentTimePoint();
    // The rules of Make units and K: from the settings, or from the command
    // line for one run; the "Settings…" dialog changes and saves them.
    unit_options m_unit_options;
    // Writes the ROIs, units and links as a folder of the interchange format
    // ("Export…"), leaving out the false positives.
    void exportCuration();
    // Time spent letting events run during long operations, in milliseconds.
    double eventMilliseconds() const { return m_event_ms; }
    // The "Lineage" tree window (made on first use), and opening or closing it (key V).
    LineageTreeWindow *lineageTree();
    void toggleLineageTree();

    // Progress of a long operation, shown below the tabs with a bar and a
    // Cancel button that acts as Stop. total is the number of steps (0 when
    // not known); step tells how many are done. Operations started inside a
    // running one leave the bar to it. Every begin needs its end.
    void progressBegin(const QString &what, long long total);
    void progressStep(long long done);
    // A step of an operation that learns its total as it goes.
    void progressStep(long long done, long long total);
    void progressEnd();
    // progressBegin for as long as it lives.
    class progress_scope
    {
    public:
        progress_scope(OXELBrowser &w, const QString &what, long long total) : _w(w)
        {
            _w.progressBegin(what, total);
        }
        ~progress_scope() { _w.progressEnd(); }
        progress_scope(const progress_scope &) = delete;
        progress_scope &operator=(const progress_scope &) = delete;
        void step(long long done) { _w.progressStep(done); }
        void step(long long done, long long total) { _w.progressStep(done, total); }

    private:
        OXELBrowser &_w;
    };
    // Shows a line in the status line below the tabs (every line written to
    // standard error also shows there).
    void showStatus(const QString &text);
    QString statusText() const;
    // Where the image lies on the canvas: zoom and scroll.
    const canvas_view &canvasView() const { return m_view; }
    // Zoom steps about a canvas point (keys + and -, Ctrl and the wheel), and
    // the whole image in the canvas (key Home).
    void zoomCanvas(int steps, QPoint anchor);
    void fitCanvas();
    // Scrolls the canvas by so many canvas pixels.
    void scrollCanvas(QPoint delta);

public slots:
    // Slots in the order of the window's slot table.
    virtual void setApplication(QApplication *app);
    virtual void initColors();
    virtual void setMaxTimePoint(int t);
    virtual void setMinTimePoint(int t);
    virtual void setMaxFocalPlane(int z);
    virtual void setMinFocalPlane(int z);
    virtual void build_roidb();
    virtual void build_imgdb();
    virtual void build_q_roiimgdb();
    virtual void drawROI(QPixmap &pix);
    virtual void drawLineage(QPixmap &pix);
    virtual void myPaint();
    void paintEvent(QPaintEvent *e) override;
    virtual void setCurrentTimePoint(int t);
    virtual void setCurrentFocalPlane(int z);
    virtual void timeNext();
    virtual void timePrev();
    virtual void focusUp();
    virtual void focusDown();
    virtual void setDataset(std::string name);
    virtual void setManualEliteMode(bool on);
    virtual void setLineageMode(bool on);
    virtual void setShowTrackedRoisMode(bool on);
    virtual void setAddLineageMode(bool on);
    virtual void setRemoveLineageMode(bool on);
    virtual void setMergeMode(bool on);
    virtual void setSplitMode(bool on);
    void keyPressEvent(QKeyEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    virtual void manualSplit(std::string doubt, std::set<std::string> parent_set, int x, int y,
                             int z);
    void mouseMoveEvent(QMouseEvent *e) override;
    virtual void lineEdit_time_point_textChanged(const QString &text);
    virtual void read_common();
    virtual void pushButton_read_clicked();
    virtual void close_common();
    virtual void pushButton_close_clicked();
    virtual void lineEdit_dataset_textChanged(const QString &text);
    virtual void lineEdit_focal_plane_textChanged(const QString &text);
    virtual void slider_time_point_valueChanged(int v);
    virtual void slider_focal_plane_valueChanged(int v);
    virtual void pushButton_auto_toggled(bool on);
    virtual void pushButton_exit_clicked();
    virtual void pushButton_forward_tracking_clicked();
    virtual void pushButton_backward_tracking_clicked();
    virtual void do_zTracking();
    virtual void pushButton_z_clicked();
    virtual void forwardTracking(int t);
    virtual void backwardTracking(int t);
    virtual void zTracking(int t);
    virtual void checkAdjacentFocalPlane(roi &r_from, int t, int z, std::set<std::string> *roiset,
                                         double mor_t, double mor_z);
    virtual void pushButton_stop_clicked();
    virtual void pushButton_reload_config_file_clicked();
    virtual void pushButton_reset_clicked();
    virtual void pushButton_save_roifile_clicked();
    virtual void pushButton_clean_clicked();
    virtual void pushButton_read_roifile_clicked();
    virtual void makeLinkage(int t);
    virtual void release_child(std::string parent, std::string child);
    virtual void link(std::string unit1, std::string unit2);
    virtual void search_doubt_units();
    virtual void mergeUnits(std::string a, std::string b);
    virtual void pushButton_restore_clicked();
    virtual void pushButton_select_all_clicked();
    virtual void pushButton_read_info_clicked();
    virtual void pushButton_save_info_clicked();
    virtual void pushButton_auto_split_toggled(bool on);
    virtual void pushButton_drop_false_positive_clicked();
    virtual void view(std::string key);
    virtual void pushButton_split_clicked();
    virtual void splitROI(std::string doubt, pos3d E_normal, pos3d E_pos, std::list<roi> &plus,
                          std::list<roi> &minus);
    virtual void pushButton_dead_end_clicked();
    virtual void pushButton_unlinked_unit_clicked();
    virtual void pushButton_read_FP_clicked();
    virtual void pushButton_save_FP_clicked();

protected slots:
    virtual void languageChange();

protected:
    void changeEvent(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    // The canvas grows with the window; the controls below it move down.
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    // The design's keys reach the window whichever child has the focus.
    bool eventFilter(QObject *watched, QEvent *e) override;

public:
    // State members, in their design order.
    QLabel *textLabel3;
    QLabel *textLabel4;
    QLineEdit *lineEdit_time_point;
    QLineEdit *lineEdit_focal_plane;
    QSlider *slider_focal_plane;
    QSlider *slider_time_point;
    QLineEdit *lineEdit_dataset;
    QFrame *frame_canvas;
    QTabWidget *tabWidget_control_panel;
    QWidget *file;
    QPushButton *pushButton_read_roifile;
    QPushButton *pushButton_read_info;
    QPushButton *pushButton_save_info;
    QPushButton *pushButton_save_roifile;
    QPushButton *pushButton_drop_false_positive;
    QPushButton *pushButton_clean;
    QPushButton *pushButton_restore;
    QPushButton *pushButton_exit;
    QPushButton *pushButton_read_FP;
    QPushButton *pushButton_save_FP;
    QWidget *mainPage;
    QPushButton *pushButton_z;
    QPushButton *pushButton_stop;
    QPushButton *pushButton_reset;
    QPushButton *pushButton_select_all;
    QPushButton *pushButton_backward_tracking;
    QPushButton *pushButton_auto;
    QPushButton *pushButton_forward_tracking;
    int newVariable;
    std::multimap<std::string, std::string> m_head_members;
    bool m_auto_split;
    std::set<std::string> m_add_lineage_head_set;
    std::set<std::string> m_remove_lineage_head_set;
    bool m_remove_lineage_mode;
    bool m_add_lineage_mode;
    bool dirty;
    bool m_show_tracked_rois_mode;
    std::set<std::string> m_lineage_mode_roi_set;
    bool m_lineage_mode;
    bool m_manual_elite;
    std::set<std::string> m_falsely_grouped_units_candidates;
    std::multimap<std::string, std::string> m_linkage_multimap;
    std::set<std::string> m_linkage_set;
    std::map<std::string, std::string> m_members_head;
    std::set<std::string> m_elite_head_roi_set;
    std::map<std::string, pos3d> m_smallest_enclosing_circle;
    QColor color[128];
    std::set<std::string> m_bwd_roi_set;
    std::set<std::string> m_selected_roi_set;
    std::set<std::string> m_mouse_over_roi_set;
    QApplication *m_app;
    QPixmap m_pix;
    QString m_roi_ext_dir;
    int m_max_focal_plane;
    int m_min_focal_plane;
    int m_max_time_point;
    int m_min_time_point;
    QString m_img_head;
    QString m_org_dir;
    QString m_roi_ext;
    QString m_img_base;
    QString m_dic_base;
    roidb_plus *m_roidb;
    ImageDB *m_imgdb;
    QString m_dataset;
    int m_time_point;
    int m_focal_plane;
    QString m_lnk_base;
    QString m_roi_base;
    QString m_dataset1;
    QString m_dataset2;
    QString m_dataset3;
    QString m_roi_ext1;
    int m_cache_time;
    bool m_auto;
    std::set<std::string> m_fwd_roi_set;
    std::set<std::string> m_removed_roi_set;
    q_roiimgdb *m_q_roiimgdb;
    bool m_make_units;
    bool m_auto_make_units;
    std::set<std::string> m_make_unit_roi_set;
    roi m_unit_roi_head;
    bool m_show_centroid;
    bool m_merge_mode;
    std::set<std::string> m_split_parents;
    bool m_split_mode;

    // The image pixel under a window position; false beside the canvas' image part.
    bool imagePoint(const QPointF &window_position, QPoint &pixel) const;

private:
    friend class EditCommand;
    // Everything changed between its start and its end is one command of the
    // undo history (nested scopes join the outermost one).
    class EditScope {
    public:
        EditScope(OXELBrowser &w, const char *name);
        ~EditScope();
        EditScope(const EditScope &) = delete;
        EditScope &operator=(const EditScope &) = delete;

    private:
        OXELBrowser &_w;
    };
    // The finished edit becomes a command of the undo history.
    void finishEdit();
    // Applies a command's changes again or takes them back.
    void applyEdit(const std::vector<change> &changes, bool forward);
    // Drops the oldest steps while the history takes more than its limit.
    void trimUndoHistory();
    // What the unsaved-changes line under the dataset name says.
    void showUnsaved();
    // Marks a part as just read or saved.
    void markSaved(unsigned parts);
    // Forgets the history (another dataset).
    void clearUndoHistory();
    // The record of unsaved work: started afresh for a ROI file just read
    // or saved, each edit appended, replayed after a crash.
    void keepRecord(const std::string &roi_path);
    void journal(const std::vector<change> &changes);
    bool recoverRecord(const std::string &roi_path);
    // A part just written to its file.
    void savedPart(unsigned part);
    // The curated state, for applying changes.
    curation::state curatedState();

    // The focal-plane range before a file widens it.
    static constexpr int default_max_focal_plane = 55;

    // Holds rendering back while a command passes through positions that
    // are not meant to be shown.
    struct paint_hold {
        explicit paint_hold(int &held) : _held(held) { ++_held; }
        ~paint_hold() { --_held; }
        paint_hold(const paint_hold &) = delete;
        paint_hold &operator=(const paint_hold &) = delete;
        int &_held;
    };

    void init();
    void destroy();
    // Stop, Exit and closing: Auto and Auto split off, the running
    // operation ends at its next step.
    void stopRunningOperation();
    // Says "Busy" and gives true while a long operation runs.
    bool refusedAsBusy();
    // Replaces the open dataset by a database just read.
    void openDatabase(std::unique_ptr<roidb_plus> fresh);
    void openRead(std::unique_ptr<roidb_plus> fresh, const std::string &path);
    // Applies what was typed into a number field once editing ends.
    void applyTypedTimePoint();
    void applyTypedFocalPlane();
    // Keys a number field keeps for itself (digits and editing keys).
    bool isNumberFieldKey(QObject *watched, const QKeyEvent *e) const;
    // The running application, whether or not setApplication was called.
    QApplication *application();
    void letEventsRun();
    void repaintNow();
    // Marks a long operation for its duration; false when one already runs.
    bool beginBusy();
    void endBusy();
    // The image root: $OXELBROWSER_IMAGE_ROOT, else "/image".
    static QString imageRoot();
    // Lets pending events run: always when forced, else at most every few
    // milliseconds (a search visits thousands of ROIs a second).
    void letEventsRunNow(bool force);
    void switchMode(bool &flag, QCursor &prev_cursor, bool on);
    static bool tracingInput();
    void traceInput();
    // The part of frame_canvas the image is shown in (without the scroll bars).
    QRect viewportRect() const;
    // Fits the view to the image of the current plane (its size, or the
    // canvas' when it has none), and the scroll bars to the view.
    void updateView(QSize image);
    void showScrollBars();
    void layoutWindow();
    void createStatusLine();
    void releaseStatusLine();
    tracker makeTracker();
    // Removes a ROI from the database and its raster from the cache.
    void dropRoi(const std::string &key);
    void recordReplacement(const std::vector<roi> &before, const std::vector<roi> &after);
    // True when name does not exist yet, or the user lets it be overwritten.
    bool mayWrite(const QString &name);
    // The names of the parts changed since they were last read or saved.
    QStringList unsavedParts() const;
    // $PWD + "/" + dataset + extension: where the file dialogs start.
    QString startName(const char *extension) const;
    bool saveKeyFile(QPushButton *button, const QString &filter, const QString &objectName,
                     const char *extension, const std::string &tag,
                     const std::set<std::string> &keys);
    void readKeyFile(const QString &filter, const QString &objectName, const char *extension,
                     const std::string &tag, std::set<std::string> &keys);
    void setTrackingButtons(bool enabled);
    void trackingSteps(bool forward);
    std::string unitOf(const std::string &key);
    // Every change of units, links, elite marks or ROIs calls this: what is
    // made from them (unit centres, the review queue, the lineage tree) is
    // made again.
    void lineageChanged();
    // Review lists and queue.
    void showFirstOf(const std::set<std::string> &heads, int t_from, int t_to, const char *label);
    void refreshReviewQueue();
    void showReviewCount();
    void reviewStep(int direction);
    void dismissReviewUnit();
    void pushButton_review_clicked();
    // Where a split works, on the window's tables.
    split::context splitContext(lineage::tables &u);
    // The lineage tree's keys: V, and [ ] ' that walk from the lineage root.
    bool lineageTreeKey(int key);

    Ui::OXELBrowser *ui;
    std::unique_ptr<FileChooser> m_chooser;
    bool m_busy;
    int m_paint_held;
    int m_prev_t;
    int m_prev_z;
    bool m_stop_requested;
    QCursor m_mode_cursor[6];
    QElapsedTimer m_events_clock;
    double m_event_ms;
    // The planes gathered during a run of tracking steps.
    std::shared_ptr<tracker::plane_map> m_step_planes;
    // Numbers handed out by ID(), by time point in order of first request.
    std::map<int, std::vector<std::string>> m_ids;
    // Counts changes of units, links and ROIs.
    unsigned long m_lineage_generation = 0;
    // Unit centres and plane extents for the lineage drawing.
    review::unit_views m_unit_views;
    unsigned long m_unit_views_generation = 0;
    // The review queue, the entry on view (-1: none yet) and the units the
    // user has looked at and found right.
    std::vector<review::entry> m_review_queue;
    int m_review_pos = -1;
    bool m_review_built = false;
    unsigned long m_review_generation = 0;
    std::string m_review_unit;
    std::set<std::string> m_dismissed_units;
    // Traces the pieces of a split (the outline program; tests put a fake).
    split::tracer m_outline_tracer;
    // The unit tables as one, with the running edit's log.
    lineage::tables m_units{m_head_members, m_members_head, m_linkage_multimap,
                            m_elite_head_roi_set};
    change_log m_edit_log;
    int m_edit_depth = 0;
    QString m_edit_name;
    QUndoStack *m_undo = nullptr;
    size_t m_undo_bytes = 0;
    size_t m_undo_limit = size_t(256) << 20;
    bool m_undo_dropped = false;
    // While the history is rebuilt, its commands change nothing.
    bool m_rebuilding_history = false;
    // The undo index at which each file part was last read or saved (valid
    // false: that state can no longer be reached).
    int m_saved_index[3] = {0, 0, 0};
    bool m_saved_valid[3] = {true, true, true};
    LineageTreeWindow *m_tree = nullptr;
    // The record of unsaved work on the ROI file read or saved last.
    std::unique_ptr<recovery> m_recovery;
    std::string m_roi_path;
    // Exit has asked about unsaved work; closing the window does not again.
    bool m_unsaved_answered = false;
    // The canvas' zoom and scroll; a fresh view (after a read) is set to 1:1
    // or to fit by the first image shown.
    canvas_view m_view;
    bool m_view_fresh = true;
    QSize m_image_size;
    QScrollBar *m_hbar = nullptr;
    QScrollBar *m_vbar = nullptr;
    // The widgets of the designed frame with their designed geometry.
    std::vector<std::pair<QWidget *, QRect>> m_designed;
    // The status line, and the progress of a long operation.
    QLabel *m_status = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancel = nullptr;
    int m_progress_depth = 0;
    long long m_progress_total = 0;
};
